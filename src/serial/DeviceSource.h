#pragma once

#include "serial/PortDiscovery.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brenwick::serial::serial_detail {

// What is behind one name of the watched list now: a device, or nothing (no entry, or one that is not a
// device).
struct Sighting {
    std::string key;
    std::optional<SerialPortInfo> port;
};

// What the system reported during one wait.
struct SourceNews {
    bool woken = false;
    // `seen` lists every device there is: names known before and missing from it are gone.
    bool complete = false;
    std::vector<Sighting> seen; // in the order the changes happened
};

// The system's side of CDeviceWatcher: inotify on Linux (posix/DeviceWatcherPosix.cpp), registry change
// notifications on Windows (win32/DeviceWatcherWin32.cpp). Watching starts when it is made.
class IDeviceSource {
  public:
    virtual ~IDeviceSource() = default;
    // Why watching does not work, "" while it does.
    virtual const std::string& Error() const = 0;
    // Every name of the list with what is behind it now.
    virtual std::vector<Sighting> List() = 0;
    // Waits up to `timeout` (0: only what is already there) for changes or Wake. Returns at once when
    // watching does not work, with nothing.
    virtual SourceNews Wait(std::chrono::milliseconds timeout) = 0;
    // Any thread.
    virtual void Wake() = 0;
};

std::unique_ptr<IDeviceSource> OpenDeviceSource(const std::string& folder);

} // namespace brenwick::serial::serial_detail
