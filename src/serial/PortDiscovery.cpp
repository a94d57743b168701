#include "serial/PortDiscovery.h"

#include <algorithm>
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

// Natural order: runs of digits compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])) != 0) {
                ++endA;
            }
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])) != 0) {
                ++endB;
            }
            const std::string numA = a.substr(i, endA - i);
            const std::string numB = b.substr(j, endB - j);
            const size_t sigA = numA.find_first_not_of('0');
            const size_t sigB = numB.find_first_not_of('0');
            const std::string valA = sigA == std::string::npos ? "" : numA.substr(sigA);
            const std::string valB = sigB == std::string::npos ? "" : numB.substr(sigB);
            if (valA.size() != valB.size()) {
                return valA.size() < valB.size();
            }
            if (valA != valB) {
                return valA < valB;
            }
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

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
        const fs::path device = Resolved(ttyDir / "device");
        if (device.empty() || IsEmptyUartSlot(ttyDir)) {
            continue; // virtual terminals and ptys have no device behind them
        }
        SerialPortInfo info;
        info.path = (fs::path(devRoot) / ttyDir.filename()).string();
        FillUsbDetails(device, devicesRoot, info);
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

    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        if (a.usb != b.usb) {
            return a.usb;
        }
        return NaturalLess(a.path, b.path);
    });
    return ports;
}

} // namespace brenwick::serial
