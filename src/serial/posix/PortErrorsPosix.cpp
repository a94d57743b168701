#include "serial/PortErrors.h"

#include <cerrno>
#include <cstring>

namespace brenwick::serial::serial_detail {

PortProblem ClassifySystemError(int code, std::string& text) {
    switch (code) {
    case EACCES:
    case EPERM:
        return PortProblem::PermissionDenied;
    case EBUSY:
#if EWOULDBLOCK != EBUSY
    case EWOULDBLOCK:
#endif
        return PortProblem::InUse;
    case ENOENT:
        return PortProblem::NoSuchDevice;
    case EIO:
    case ENXIO:
    case ENODEV:
        return PortProblem::DeviceGone;
    case ENOTTY:
        return PortProblem::NotASerialPort;
    case EINVAL:
        return PortProblem::BadSetting;
    default:
        break;
    }
    if (code > 0) {
        text = std::strerror(code);
    }
    return PortProblem::None;
}

} // namespace brenwick::serial::serial_detail
