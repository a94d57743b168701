#pragma once

#include "app/DeviceFeed.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace brenwick::app {

// Serial devices coming and going, found by listing the devices present at every wait and comparing with the
// last list. The first wait reports every device present.
class CPortPoller {
  public:
    // Lists the devices present; the system's list by default.
    using Lister = std::function<std::vector<serial::SerialPortInfo>()>;
    explicit CPortPoller(Lister lister = {});

    // Returns at once with the first list; later, after `timeout` or a Wake, with what changed since.
    std::vector<DeviceChange> Wait(std::chrono::milliseconds timeout);
    // Thread-safe: a wait in progress returns now.
    void Wake();

  private:
    Lister m_Lister;
    std::mutex m_Lock;
    std::condition_variable m_Woken;
    bool m_Wake = false; // guarded by m_Lock
    bool m_First = true;
    std::map<std::string, serial::SerialPortInfo> m_Present; // by path; the waiting thread's only
};

// A feed of the serial devices on this machine, from a poller of its own.
std::unique_ptr<CDeviceFeed> MakePollingFeed();

} // namespace brenwick::app
