#pragma once

#include "serial/NotifyTarget.h"
#include "serial/SerialListener.h"

#include <atomic>
#include <cstdint>

namespace brenwick::serial {

// The message number used when OpenPort is given message 0: the same fixed number in every program that
// uses this layer, in the range of registered messages (0xC000..0xFFFF).
uint32_t DefaultComMsg();

// A listening serial port that posts every line event to a notification target: message number, wParam
// with the events in the low word and the line-error (CE_) bits in the high word, and a caller's lParam.
class CSerialWnd : public CSerialListener {
  public:
    CSerialWnd() = default;
    ~CSerialWnd() override;

    using CSerialListener::OpenPort;
    // Forgets the target first, so that nothing is posted while the thread stops, then closes.
    std::error_code ClosePort() override;
    // Posts the notification; the target only queues it.
    void OnSerialEvent(uint32_t events, uint32_t errors) override;
    // Opens for overlapped I/O and starts listening; `message` 0 selects DefaultComMsg().
    virtual std::error_code OpenPort(const char* name, ISerialNotifyTarget* target, uint32_t message,
                                     intptr_t param, uint32_t inQueue, uint32_t outQueue);

  private:
    std::atomic<ISerialNotifyTarget*> m_NotifyWindow{nullptr};
    std::atomic<uint32_t> m_NotifyMessage{0};
    std::atomic<intptr_t> m_NotifyParam{0};
};

} // namespace brenwick::serial
