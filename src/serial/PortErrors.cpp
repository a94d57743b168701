#include "serial/PortErrors.h"

#include "serial/SerialTypes.h"

#include <cerrno>
#include <cstring>

namespace brenwick::serial {

std::string DescribePortError(int32_t code) {
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
    case EACCES:
        return "permission denied: your user must be in the 'dialout' group to use serial ports "
               "(sudo usermod -aG dialout $USER, then log in again)";
    case EBUSY:
    case EWOULDBLOCK:
        return "the port is in use by another program";
    case ENOENT:
        return "no such device: check the port name and that the device is plugged in";
    case EIO:
    case ENODEV:
        return "the device was removed or stopped responding";
    case ENOTTY:
        return "this is not a serial port";
    case EINVAL:
        return "the serial port does not support this setting";
    default:
        break;
    }
    if (code > 0) {
        return std::string("serial port error: ") + std::strerror(code);
    }
    return "serial port error " + std::to_string(code);
}

} // namespace brenwick::serial
