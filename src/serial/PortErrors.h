#pragma once

#include <cstdint>
#include <string>

namespace brenwick::serial {

// The sentence a user needs for an error code of the serial layer (its own codes and the system's error
// codes: errno values on POSIX, Win32 error codes on Windows), for example when a port cannot be opened. The
// port classes keep the codes numeric; front ends show this.
std::string DescribePortError(int32_t code);

// True for the codes with which a transfer finds the device gone (unplugged, hung up, node removed).
bool DeviceGone(int32_t code);

namespace serial_detail {

// What a system error code means to a user of a serial port.
enum class PortProblem {
    None,
    PermissionDenied,
    InUse,
    NoSuchDevice,
    DeviceGone,
    NotASerialPort,
    BadSetting
};

// Each system's reading of its own codes; `text` is the system's wording for PortProblem::None.
PortProblem ClassifySystemError(int32_t code, std::string& text);

} // namespace serial_detail

} // namespace brenwick::serial
