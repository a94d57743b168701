#pragma once

#include "serial/SerialPort.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace brenwick::serial {

// A serial port with one thread per open port that waits for the masked line events and hands them, with
// the line-error bits found at the same moment, to OnSerialEvent. The thread never reads data. It blocks in
// the event wait between events and wakes once per arrival of bytes, per drained output queue, per line
// error, per mask change (which it handles without calling OnSerialEvent) and for stopping.
// A class that implements OnSerialEvent must stop the thread (ClosePort) in its own destructor.
class CSerialListener : public CSerialPort {
  public:
    CSerialListener() = default;
    ~CSerialListener() override;

    // Always opens for overlapped I/O; `startListener` starts the thread as well.
    std::error_code OpenPort(const char* name, uint32_t inQueue, uint32_t outQueue,
                             bool startListener) override;
    // Stops the thread (waiting for it to end), then closes the device.
    std::error_code ClosePort() override;

    // Starts the thread unless one runs; a thread that ended by itself (device removed) is replaced.
    virtual std::error_code StartListener();
    // Ends the thread and waits for it; returns success. The wait is not cut short by `timeout`: the device
    // must not close while the thread may still use it.
    virtual std::error_code StopListener(uint32_t timeout);
    // Called on the listener thread for every wake-up that found masked events. Must not close the port.
    virtual void OnSerialEvent(uint32_t events, uint32_t errors) = 0;

    bool ListenerRunning() const { return m_ListenerActive.load(); }

  private:
    void ListenerThreadProc();

    std::atomic<bool> m_Stopping{false};
    std::atomic<bool> m_ListenerActive{false};
    std::thread m_ListenerThread;
    SerialCompletion m_ListenerEvent; // completion of the listener's own event waits
    std::mutex m_ListenerMutex;       // one start or stop at a time
};

} // namespace brenwick::serial
