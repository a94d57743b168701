#pragma once

#include "serial/DeviceWatcher.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

namespace brenwick::winapp {

using serial::DeviceEvent;

// Takes device events on any thread.
using DeviceSink = std::function<void(std::vector<DeviceEvent>)>;

// Something that tells a sink of devices until it is destroyed; the destructor returns once it no longer
// calls the sink.
class IDeviceSource {
  public:
    virtual ~IDeviceSource() = default;
    // Why no device will ever come from it (the system refused the watch), or "" when it works.
    virtual std::string Problem() const { return {}; }
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
                std::chrono::milliseconds timeout = std::chrono::seconds(1), std::string problem = {});
    ~CDevicePump() override;
    CDevicePump(const CDevicePump&) = delete;
    CDevicePump& operator=(const CDevicePump&) = delete;

    std::string Problem() const override { return m_Problem; }

  private:
    std::function<void()> m_Wake;
    std::string m_Problem;
    std::jthread m_Thread;
};

} // namespace brenwick::winapp
