#include "base/win32/Utf16.h"
#include "serial/PortDiscovery.h"
#include "serial/win32/RegistryKey.h"
#include "serial/win32/WindowsApi.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <string_view>
#include <vector>
// clang-format off
#include <setupapi.h> // after <windows.h>
// clang-format on

namespace brenwick::serial {

namespace serial_detail {

namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

// The four hex digits after tag in id (upper case), or "".
std::string HexAfter(const std::string& id, std::string_view tag) {
    for (size_t at = id.find(tag); at != std::string::npos; at = id.find(tag, at + 1)) {
        const std::string digits = id.substr(at + tag.size(), 4);
        if (digits.size() == 4 && std::all_of(digits.begin(), digits.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
            })) {
            return digits;
        }
    }
    return "";
}

} // namespace

std::string UsbIdFromHardwareId(std::string_view id) {
    // "USB\VID_2341&PID_0043&REV_0001", or a vendor's bus: "FTDIBUS\COMPORT&VID_0403&PID_6001". Bluetooth's
    // "BTHENUM\{...}_VID&0001005d_PID&0223" names no USB device.
    const std::string upper = Upper(id);
    const std::string vendor = HexAfter(upper, "VID_");
    const std::string product = HexAfter(upper, "PID_");
    return vendor.empty() || product.empty() ? "" : Lower(vendor) + ":" + Lower(product);
}

void ApplySetupFacts(SerialPortInfo& port, const SetupFacts& facts) {
    port.usbId.clear();
    for (const std::string& id : facts.hardwareIds) {
        port.usbId = UsbIdFromHardwareId(id);
        if (!port.usbId.empty()) {
            break;
        }
    }
    const std::string enumerator = Upper(facts.enumerator);
    port.usb = enumerator == "USB" || enumerator == "FTDIBUS" || !port.usbId.empty();
    port.busKnown = port.usb || !enumerator.empty();
    port.product = !facts.busDescription.empty() ? facts.busDescription : facts.description;
}

} // namespace serial_detail

namespace {

using serial_detail::SetupFacts;

class DeviceList {
  public:
    DeviceList(const GUID& guid, DWORD flags)
        : m_List(::SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags)) {}
    ~DeviceList() {
        if (m_List != INVALID_HANDLE_VALUE) {
            ::SetupDiDestroyDeviceInfoList(m_List);
        }
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    HDEVINFO Get() const { return m_List; }

  private:
    HDEVINFO m_List;
};

// The Ports class (COM and LPT ports) and the COM port interface, which also brings in ports of other
// classes (modems, virtual pairs).
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kComPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
// DEVPKEY_Device_BusReportedDeviceDesc: the product text a USB device reports.
const DEVPROPKEY kBusReportedDescription = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

// A property's text, or for a list its items, each in UTF-8.
std::vector<std::string> Texts(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t data[1024] = {};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type, reinterpret_cast<BYTE*>(data),
                                             sizeof data - 2 * sizeof(wchar_t), nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    std::vector<std::string> items;
    for (const wchar_t* item = data; *item != L'\0'; item += std::wstring_view(item).size() + 1) {
        items.push_back(Narrow(item));
        if (type == REG_SZ) {
            break;
        }
    }
    return items;
}

std::string BusDescription(HDEVINFO list, SP_DEVINFO_DATA& device) {
    wchar_t data[256] = {};
    DEVPROPTYPE type = 0;
    if (!::SetupDiGetDevicePropertyW(list, &device, &kBusReportedDescription, &type,
                                     reinterpret_cast<BYTE*>(data), sizeof data - sizeof(wchar_t), nullptr,
                                     0) ||
        type != DEVPROP_TYPE_STRING) {
        return "";
    }
    return Narrow(data);
}

// Each port name's facts (the names in upper case), from every device of guid that has a port name.
void CollectFacts(const GUID& guid, DWORD flags, std::map<std::string, SetupFacts>& facts) {
    const DeviceList list(guid, flags | DIGCF_PRESENT);
    if (list.Get() == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(list.Get(), index, &device); ++index) {
        const RegistryKey key(
            ::SetupDiOpenDevRegKey(list.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
        const std::string name = serial_detail::Upper(Narrow(key.Text(L"PortName")));
        if (name.empty() || facts.count(name) != 0) {
            continue;
        }
        SetupFacts& f = facts[name];
        const auto enumerator = Texts(list.Get(), device, SPDRP_ENUMERATOR_NAME);
        f.enumerator = enumerator.empty() ? "" : enumerator.front();
        f.hardwareIds = Texts(list.Get(), device, SPDRP_HARDWAREID);
        f.busDescription = BusDescription(list.Get(), device);
        const auto description = Texts(list.Get(), device, SPDRP_DEVICEDESC);
        f.description = description.empty() ? "" : description.front();
    }
}

} // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
    std::vector<SerialPortInfo> ports;
    // The registry lists every port a driver has made; the setup information tells what is behind it, where
    // it can (it may know nothing of a port, as under Wine).
    const RegistryKey key(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (key.Get() == nullptr) {
        return ports; // no serial driver has registered a port
    }
    std::map<std::string, SetupFacts> facts;
    CollectFacts(kPortsClass, 0, facts);
    CollectFacts(kComPortInterface, DIGCF_DEVICEINTERFACE, facts);
    std::vector<std::pair<std::wstring, std::wstring>> values;
    key.TextValues(values);
    for (const auto& [name, data] : values) {
        SerialPortInfo info;
        info.path = Narrow(data);
        if (info.path.empty()) {
            continue;
        }
        if (const auto found = facts.find(serial_detail::Upper(info.path)); found != facts.end()) {
            serial_detail::ApplySetupFacts(info, found->second);
        } else {
            // The driver's device is all there is: serial.sys names its UARTs "\Device\Serial0"...; any
            // other driver may be a USB converter's or not.
            info.busKnown = name.starts_with(L"\\Device\\Serial");
        }
        ports.push_back(std::move(info));
    }
    serial_detail::SortPorts(ports);
    return ports;
}

std::string FallbackPortName() {
    return "COM1";
}

} // namespace brenwick::serial
