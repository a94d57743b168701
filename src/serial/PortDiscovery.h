#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brenwick::serial {

// A serial device present on this machine.
struct SerialPortInfo {
    std::string path;    // device node, e.g. "/dev/ttyACM0"
    std::string byId;    // its stable name under /dev/serial/by-id, "" when it has none
    std::string usbId;   // "vvvv:pppp" for USB devices, else ""
    std::string product; // the USB product text when the device reports one (Windows: else its driver's name)
    bool usb = false;
    bool busKnown = true; // false where the system does not tell whether it is on USB (usb is then false)
};

// Serial devices present, USB devices first, each group in natural name order (ttyUSB2 before ttyUSB10,
// COM2 before COM10). On POSIX: ttys with a real device behind them (UARTs without hardware left out); on
// Windows: the ports the drivers registered.
std::vector<SerialPortInfo> ListSerialPorts();
// The port to use when none is chosen and none is present: the first UART.
std::string FallbackPortName();

// How two names given for a port are compared. POSIX paths as they are; Windows device names without
// regard to case, with or without the device prefix \\.\ (COM5, com5 and \\.\COM5 are one port).
enum class PortNameRules { Posix, Windows };
#if defined(_WIN32)
inline constexpr PortNameRules kPortNameRules = PortNameRules::Windows;
#else
inline constexpr PortNameRules kPortNameRules = PortNameRules::Posix;
#endif
bool SamePortName(std::string_view a, std::string_view b, PortNameRules rules = kPortNameRules);
// A Windows device name without its device prefix \\.\ ("\\.\COM12" is "COM12"); other names as they are.
std::string_view WithoutDevicePrefix(std::string_view name);

#if !defined(_WIN32)
// The same over other roots in place of "/sys" and "/dev" (a prepared tree, for tests).
std::vector<SerialPortInfo> ListSerialPorts(const std::string& sysRoot, const std::string& devRoot);
// One tty as the list shows it, by its device node's path (already resolved: "/dev/ttyACM0"): path as
// given, the USB details from sysfs under sysRoot, and no byId. A pty or an unknown name has no details.
SerialPortInfo DescribeTty(const std::string& devicePath, const std::string& sysRoot = "/sys");
#endif

namespace serial_detail {
// USB devices first, then natural order of the names.
void SortPorts(std::vector<SerialPortInfo>& ports);

#if defined(_WIN32)
// What Windows' setup information tells of a port's device.
struct SetupFacts {
    std::string enumerator; // the bus driver that found it: "USB", "FTDIBUS", "BTHENUM", "ACPI"...
    std::vector<std::string> hardwareIds; // "USB\VID_2341&PID_0043&REV_0001", ...
    std::string busDescription;           // the product text the bus reports (a USB device's own)
    std::string description;              // the driver's name for the device
};
// "vvvv:pppp" from a hardware id that holds VID_vvvv and PID_pppp, else "".
std::string UsbIdFromHardwareId(std::string_view id);
// The port's bus, USB id and product text from those facts.
void ApplySetupFacts(SerialPortInfo& port, const SetupFacts& facts);
#endif
} // namespace serial_detail

} // namespace brenwick::serial
