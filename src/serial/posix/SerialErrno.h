#pragma once

#include <cerrno>
#include <cstdint>

namespace brenwick::serial {

// Turns an errno value into the serial layer's error code. errno 1 (EPERM) and 6 (ENXIO) share their numbers
// with the program's own ERROR_INVALID_FUNCTION and ERROR_INVALID_HANDLE, so they are reported as the errno
// values that mean the same to a user (EACCES, ENODEV); every other errno value passes unchanged.
inline int32_t SerialErrorFromErrno(int err) {
    switch (err) {
    case EPERM:
        return EACCES;
    case ENXIO:
        return ENODEV;
    case 0:
        return EIO; // a failed call that left no reason still failed
    default:
        return err;
    }
}

inline int32_t LastSerialError() {
    return SerialErrorFromErrno(errno);
}

} // namespace brenwick::serial
