#pragma once

#include "serial/PortDiscovery.h"
#include "serial/SyncEvent.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace brenwick::serial {

// A serial device that came or went.
struct DeviceEvent {
    enum class Kind { Appeared, Gone };
    Kind kind = Kind::Appeared;
    SerialPortInfo port; // Appeared: everything known; Gone: at least byId and path as they were seen
};

// The folder of stable device names watched by default: "/dev/serial/by-id" on Linux; "" on Windows, where
// the system's serial device list is watched instead.
std::string DefaultWatchFolder();

namespace serial_detail {
class IDeviceSource;
} // namespace serial_detail

// Hears serial devices come and go as the system reports them, without polling.
//
// Linux: `folder` holds one entry per device, a symbolic link to its node (udev's by-id links). An entry is a
// device while it resolves to a character device: byId is the entry's path (folder/name), path the node it
// resolves to, and the USB details come from sysfs as in ListSerialPorts. A dangling link counts once it
// resolves; a link replaced by one to another node is Gone and Appeared. The folder need not exist: it is
// awaited, and its removal makes every device in it Gone.
// Windows: `folder` "" watches the system's serial device list (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, whose
// values' data are COM names), with the details of ListSerialPorts. A non-empty `folder` is a key path under
// HKEY_CURRENT_USER watched the same way instead (a list that needs no administrator, for tests). byId is ""
// and path the COM name ("COM5").
//
// Threads: Wait and Error from one thread at a time; Wake from any.
class CDeviceWatcher {
  public:
    explicit CDeviceWatcher(std::string folder = DefaultWatchFolder());
    ~CDeviceWatcher();
    CDeviceWatcher(const CDeviceWatcher&) = delete;
    CDeviceWatcher& operator=(const CDeviceWatcher&) = delete;

    // The devices present when watching began come out of the first Wait as Appeared.
    // Waits up to `timeout` for changes and returns them in order (empty on time-out or after Wake()).
    std::vector<DeviceEvent> Wait(std::chrono::milliseconds timeout);
    // From any thread: makes a Wait in progress (or the next one) return at once.
    void Wake();
    // Why watching does not work ("" when it does), e.g. inotify unavailable; Wait then returns nothing.
    const std::string& Error() const;

  private:
    std::unique_ptr<serial_detail::IDeviceSource> m_Source;
    // Each device reported Appeared and not yet Gone, by the name the source knows it by.
    std::map<std::string, SerialPortInfo> m_Known;
    std::vector<DeviceEvent> m_Initial; // for the first Wait
    CSyncEvent m_Woken{false};          // ends the waits of a watcher that cannot watch
};

} // namespace brenwick::serial
