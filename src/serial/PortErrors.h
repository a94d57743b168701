#pragma once

#include <string>
#include <system_error>

namespace brenwick::serial {

// The sentence a user needs for an error code of the serial layer (its own PortErrc codes and the system's
// error codes: errno values on POSIX, Win32 error codes on Windows), for example when a port cannot be
// opened. The port classes keep the codes; front ends show this.
std::string DescribePortError(std::error_code code);

// True for the codes with which a transfer finds the device gone (unplugged, hung up, node removed).
bool DeviceGone(std::error_code code);

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

// Each system's reading of its own codes (the values of std::system_category()); `text` is the system's
// wording for PortProblem::None.
PortProblem ClassifySystemError(int code, std::string& text);

} // namespace serial_detail

} // namespace brenwick::serial
