#include "winapp/DeviceFeed.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace brenwick::winapp {

void CDeviceMailbox::Push(std::vector<DeviceEvent> events) {
    if (events.empty()) {
        return;
    }
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_Lock);
        wasEmpty = m_Queue.empty();
        std::move(events.begin(), events.end(), std::back_inserter(m_Queue));
    }
    if (wasEmpty) {
        ::PostMessageW(m_Window, m_Message, 0, 0); // a window already gone takes nothing more
    }
}

std::vector<DeviceEvent> CDeviceMailbox::Take() {
    std::lock_guard lock(m_Lock);
    return std::exchange(m_Queue, {});
}

CDevicePump::CDevicePump(Wait wait, std::function<void()> wake, DeviceSink sink,
                         std::chrono::milliseconds timeout, std::string problem)
    : m_Wake(std::move(wake)), m_Problem(std::move(problem)),
      m_Thread([wait = std::move(wait), sink = std::move(sink), timeout](const std::stop_token& stop) {
          while (!stop.stop_requested()) {
              std::vector<DeviceEvent> events = wait(timeout);
              if (!events.empty() && !stop.stop_requested()) {
                  sink(std::move(events));
              }
          }
      }) {}

CDevicePump::~CDevicePump() {
    m_Thread.request_stop();
    m_Wake();
    // The jthread joins here, before the sink it calls can go.
}

std::unique_ptr<IDeviceSource> WatchSerialDevices(DeviceSink sink) {
    // Shared by the pump's thread, which waits on it, and its destructor, which wakes it.
    auto watcher = std::make_shared<serial::CDeviceWatcher>();
    std::string problem;
    if (!watcher->Error().empty()) {
        problem = "Boards cannot be watched for: ";
        problem += watcher->Error();
    }
    return std::make_unique<CDevicePump>(
        [watcher](std::chrono::milliseconds timeout) { return watcher->Wait(timeout); },
        [watcher] { watcher->Wake(); }, std::move(sink), std::chrono::seconds(1), problem);
}

} // namespace brenwick::winapp
