#include "serial/PortErrors.h"

#include "serial/SerialTypes.h"

namespace brenwick::serial {

using serial_detail::PortProblem;

namespace {

const char* OwnCodeText(int32_t code) {
    switch (code) {
    case ERROR_SUCCESS:
        return "no error";
    case ERROR_INVALID_FUNCTION:
        return "the operation is not possible on a port opened for plain I/O";
    case ERROR_INVALID_HANDLE:
        return "the port is not open";
    case ERROR_ALREADY_INITIALIZED:
        return "the port is already open";
    case ERROR_TIMEOUT:
        return "the serial port did not respond in time";
    case E_INVALIDARG:
        return "invalid setting for the serial port";
    default:
        return nullptr;
    }
}

const char* ProblemText(PortProblem problem) {
    switch (problem) {
    case PortProblem::PermissionDenied:
        return "permission denied: your user must be in the 'dialout' group to use serial ports "
               "(sudo usermod -aG dialout $USER, then log in again)";
    case PortProblem::InUse:
        return "the port is in use by another program";
    case PortProblem::NoSuchDevice:
        return "no such device: check the port name and that the device is plugged in";
    case PortProblem::DeviceGone:
        return "the device was removed or stopped responding";
    case PortProblem::NotASerialPort:
        return "this is not a serial port";
    case PortProblem::BadSetting:
        return "the serial port does not support this setting";
    case PortProblem::None:
        break;
    }
    return nullptr;
}

} // namespace

std::string DescribePortError(int32_t code) {
    if (const char* own = OwnCodeText(code)) {
        return own;
    }
    std::string systemText;
    if (const char* text = ProblemText(serial_detail::ClassifySystemError(code, systemText))) {
        return text;
    }
    if (!systemText.empty()) {
        return "serial port error: " + systemText;
    }
    return "serial port error " + std::to_string(code);
}

bool DeviceGone(int32_t code) {
    std::string unused;
    return code != ERROR_SUCCESS && OwnCodeText(code) == nullptr &&
           serial_detail::ClassifySystemError(code, unused) == PortProblem::DeviceGone;
}

} // namespace brenwick::serial
