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
    std::string product; // the USB product text when the device reports one
    bool usb = false;
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

#if !defined(_WIN32)
// The same over other roots in place of "/sys" and "/dev" (a prepared tree, for tests).
std::vector<SerialPortInfo> ListSerialPorts(const std::string& sysRoot, const std::string& devRoot);
#endif

namespace serial_detail {
// USB devices first, then natural order of the names.
void SortPorts(std::vector<SerialPortInfo>& ports);
} // namespace serial_detail

} // namespace brenwick::serial
