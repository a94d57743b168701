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
                         std::chrono::milliseconds timeout)
    : m_Wake(std::move(wake)),
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

std::vector<DeviceEvent> CPortListPoller::Wait(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(m_Lock);
        if (m_Listed) {
            m_Woken.wait_for(lock, timeout, [this] { return m_Wake; });
        }
        if (std::exchange(m_Wake, false)) {
            return {};
        }
        m_Listed = true;
    }
    std::vector<serial::SerialPortInfo> now = serial::ListSerialPorts();
    const auto same = [](const serial::SerialPortInfo& a) {
        return [&a](const serial::SerialPortInfo& b) { return serial::SamePortName(a.path, b.path); };
    };
    std::vector<DeviceEvent> events;
    for (const serial::SerialPortInfo& port : m_Present) {
        if (std::none_of(now.begin(), now.end(), same(port))) {
            events.push_back({DeviceEvent::Kind::Gone, port});
        }
    }
    for (const serial::SerialPortInfo& port : now) {
        if (std::none_of(m_Present.begin(), m_Present.end(), same(port))) {
            events.push_back({DeviceEvent::Kind::Appeared, port});
        }
    }
    m_Present = std::move(now);
    return events;
}

void CPortListPoller::Wake() {
    {
        std::lock_guard lock(m_Lock);
        m_Wake = true;
    }
    m_Woken.notify_all();
}

std::unique_ptr<IDeviceSource> WatchSerialDevices(DeviceSink sink) {
    // The registry watch takes the poller's place once it is here: the same Wait and Wake.
    auto watcher = std::make_shared<CPortListPoller>();
    return std::make_unique<CDevicePump>(
        [watcher](std::chrono::milliseconds timeout) { return watcher->Wait(timeout); },
        [watcher] { watcher->Wake(); }, std::move(sink));
}

} // namespace brenwick::winapp
