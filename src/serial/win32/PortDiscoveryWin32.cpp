#include "base/win32/Utf16.h"
#include "serial/PortDiscovery.h"
#include "serial/win32/WindowsApi.h"

#include <string>

namespace brenwick::serial {

namespace {

// The registry names each port after its driver's device: "\Device\Serial0" for a UART on the board,
// anything else (USBSER, VCP, Silabser, ProlificSerial...) comes from a USB converter.
bool IsUsbDriver(const std::wstring& deviceName) {
    return deviceName.rfind(L"\\Device\\Serial", 0) != 0;
}

class RegistryKey {
  public:
    explicit RegistryKey(const wchar_t* path) {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &m_Key) != ERROR_SUCCESS_CODE) {
            m_Key = nullptr;
        }
    }
    ~RegistryKey() {
        if (m_Key != nullptr) {
            ::RegCloseKey(m_Key);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY Get() const { return m_Key; }

  private:
    static constexpr LONG ERROR_SUCCESS_CODE = 0;
    HKEY m_Key = nullptr;
};

} // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
    std::vector<SerialPortInfo> ports;
    const RegistryKey key(L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (key.Get() == nullptr) {
        return ports; // no serial driver has registered a port
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG rc = ::RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataBytes);
        if (rc == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (rc != 0 || type != REG_SZ) {
            continue; // a name or value too long for a port, or not text
        }
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        SerialPortInfo info;
        info.path = Narrow(data);
        info.usb = IsUsbDriver(std::wstring(name, nameLength));
        if (!info.path.empty()) {
            ports.push_back(std::move(info));
        }
    }
    serial_detail::SortPorts(ports);
    return ports;
}

std::string FallbackPortName() {
    return "COM1";
}

} // namespace brenwick::serial
