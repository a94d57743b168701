#include "serial/PortDiscovery.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace brenwick::serial {

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
        line.pop_back();
    }
    return line;
}

// A UART slot that the kernel lists although no hardware answers reports type 0 (unknown).
bool IsEmptyUartSlot(const fs::path& ttyDir) {
    std::error_code ec;
    return fs::exists(ttyDir / "type", ec) && FirstLine(ttyDir / "type") == "0";
}

// Walks up from the tty's device towards the USB device that carries vendor and product ids.
void FillUsbDetails(const fs::path& device, const fs::path& devicesRoot, SerialPortInfo& info) {
    for (fs::path dir = device; !dir.empty() && dir != devicesRoot && dir != dir.root_path();
         dir = dir.parent_path()) {
        std::error_code ec;
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec)) {
            info.usb = true;
            info.usbId = FirstLine(dir / "idVendor") + ":" + FirstLine(dir / "idProduct");
            info.product = FirstLine(dir / "product");
            return;
        }
    }
}

fs::path Resolved(const fs::path& path) {
    std::error_code ec;
    fs::path real = fs::canonical(path, ec);
    return ec ? fs::path() : real;
}

// The device behind the tty that sysfs describes in ttyDir ("" for virtual terminals and ptys), and the USB
// details when it sits on USB.
fs::path FillTtyDetails(const fs::path& ttyDir, const fs::path& devicesRoot, SerialPortInfo& info) {
    fs::path device = Resolved(ttyDir / "device");
    if (!device.empty()) {
        FillUsbDetails(device, devicesRoot, info);
    }
    return device;
}

} // namespace

SerialPortInfo DescribeTty(const std::string& devicePath, const std::string& sysRoot) {
    SerialPortInfo info;
    info.path = devicePath;
    const fs::path name = fs::path(devicePath).filename();
    if (!name.empty()) {
        FillTtyDetails(fs::path(sysRoot) / "class" / "tty" / name, Resolved(fs::path(sysRoot) / "devices"),
                       info);
    }
    return info;
}

std::vector<SerialPortInfo> ListSerialPorts() {
    return ListSerialPorts("/sys", "/dev");
}

std::vector<SerialPortInfo> ListSerialPorts(const std::string& sysRoot, const std::string& devRoot) {
    std::vector<SerialPortInfo> ports;
    const fs::path ttyClass = fs::path(sysRoot) / "class" / "tty";
    const fs::path devicesRoot = Resolved(fs::path(sysRoot) / "devices");
    std::error_code ec;
    for (fs::directory_iterator it(ttyClass, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path ttyDir = it->path();
        SerialPortInfo info;
        if (FillTtyDetails(ttyDir, devicesRoot, info).empty() || IsEmptyUartSlot(ttyDir)) {
            continue; // virtual terminals and ptys have no device behind them
        }
        info.path = (fs::path(devRoot) / ttyDir.filename()).string();
        ports.push_back(std::move(info));
    }

    // Stable names: /dev/serial/by-id links resolve to the device nodes.
    const fs::path byIdDir = fs::path(devRoot) / "serial" / "by-id";
    for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path target = Resolved(it->path());
        for (SerialPortInfo& info : ports) {
            if (!target.empty() && Resolved(info.path) == target && info.byId.empty()) {
                info.byId = it->path().string();
            }
        }
    }

    serial_detail::SortPorts(ports);
    return ports;
}

std::string FallbackPortName() {
    return "/dev/ttyS0";
}

} // namespace brenwick::serial
