#include "app/PortPoller.h"

namespace brenwick::app {

CPortPoller::CPortPoller(Lister lister) : m_Lister(std::move(lister)) {
    if (!m_Lister) {
        m_Lister = [] { return serial::ListSerialPorts(); };
    }
}

std::vector<DeviceChange> CPortPoller::Wait(std::chrono::milliseconds timeout) {
    if (!m_First) {
        std::unique_lock lock(m_Lock);
        m_Woken.wait_for(lock, timeout, [this] { return m_Wake; });
        const bool woken = m_Wake;
        m_Wake = false;
        if (woken) {
            return {}; // woken to stop
        }
    }
    m_First = false;
    std::map<std::string, serial::SerialPortInfo> now;
    for (serial::SerialPortInfo& port : m_Lister()) {
        now.emplace(port.path, std::move(port));
    }
    std::vector<DeviceChange> changes;
    for (const auto& [path, port] : m_Present) {
        if (now.count(path) == 0) {
            changes.push_back({false, port});
        }
    }
    for (const auto& [path, port] : now) {
        if (m_Present.count(path) == 0) {
            changes.push_back({true, port});
        }
    }
    m_Present = std::move(now);
    return changes;
}

void CPortPoller::Wake() {
    {
        std::lock_guard lock(m_Lock);
        m_Wake = true;
    }
    m_Woken.notify_all();
}

std::unique_ptr<CDeviceFeed> MakePollingFeed() {
    // Shared by the feed's thread and its destructor's wake.
    auto poller = std::make_shared<CPortPoller>();
    return std::make_unique<CThreadedDeviceFeed>(
        DeviceSource{[poller](std::chrono::milliseconds timeout) { return poller->Wait(timeout); },
                     [poller] { poller->Wake(); }});
}

} // namespace brenwick::app
