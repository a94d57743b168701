#pragma once

#include "serial/PortDiscovery.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>
#include <windows.h>

namespace brenwick::winapp {

// A serial device that came or went, as the device watcher reports it.
struct DeviceEvent {
    enum class Kind { Appeared, Gone };
    Kind kind = Kind::Appeared;
    serial::SerialPortInfo port;
};

// Takes device events on any thread.
using DeviceSink = std::function<void(std::vector<DeviceEvent>)>;

// Something that tells a sink of devices until it is destroyed; the destructor returns once it no longer
// calls the sink.
class IDeviceSource {
  public:
    virtual ~IDeviceSource() = default;
};
using DeviceSourceFactory = std::function<std::unique_ptr<IDeviceSource>(DeviceSink sink)>;

// The system's serial devices: a blocking watch on a thread of its own.
std::unique_ptr<IDeviceSource> WatchSerialDevices(DeviceSink sink);

// Hands device events from any thread to a window's thread: a queue under a lock, and one posted message
// whenever the queue was empty.
class CDeviceMailbox {
  public:
    CDeviceMailbox(HWND window, UINT message) : m_Window(window), m_Message(message) {}
    void Push(std::vector<DeviceEvent> events);
    // On the window's thread, at the posted message: what came since the last call.
    std::vector<DeviceEvent> Take();

  private:
    HWND m_Window;
    UINT m_Message;
    std::mutex m_Lock;
    std::vector<DeviceEvent> m_Queue;
};

// Runs a blocking wait for device events on a thread of its own and gives what it returns to the sink. Each
// wait ends within `timeout` or when woken; the destructor wakes it and joins.
class CDevicePump : public IDeviceSource {
  public:
    using Wait = std::function<std::vector<DeviceEvent>(std::chrono::milliseconds timeout)>;
    CDevicePump(Wait wait, std::function<void()> wake, DeviceSink sink,
                std::chrono::milliseconds timeout = std::chrono::seconds(1));
    ~CDevicePump() override;
    CDevicePump(const CDevicePump&) = delete;
    CDevicePump& operator=(const CDevicePump&) = delete;

  private:
    std::function<void()> m_Wake;
    std::jthread m_Thread;
};

// Stands in for the registry watch of the serial device list: lists the ports at every wait and tells what
// changed since the last list (the first wait tells every port present, at once).
class CPortListPoller {
  public:
    std::vector<DeviceEvent> Wait(std::chrono::milliseconds timeout);
    // Ends a wait in progress, or the next one, at once; any thread.
    void Wake();

  private:
    std::mutex m_Lock;
    std::condition_variable m_Woken;
    bool m_Wake = false;
    bool m_Listed = false;
    std::vector<serial::SerialPortInfo> m_Present;
};

} // namespace brenwick::winapp
