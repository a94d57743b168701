#pragma once

#include <string>
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

// Serial devices present: ttys with a real device behind them (UARTs without hardware left out), USB devices
// first, each group in natural name order (ttyUSB2 before ttyUSB10).
std::vector<SerialPortInfo> ListSerialPorts();
// The same over other roots in place of "/sys" and "/dev" (a prepared tree, for tests).
std::vector<SerialPortInfo> ListSerialPorts(const std::string& sysRoot, const std::string& devRoot);

} // namespace brenwick::serial
