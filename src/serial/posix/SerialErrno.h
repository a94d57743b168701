#pragma once

#include <cerrno>
#include <system_error>

namespace brenwick::serial {

inline std::error_code SystemError(int err) {
    return {err, std::system_category()};
}

// The error of the system call that just failed; one that left no reason still failed.
inline std::error_code LastSerialError() {
    const int err = errno;
    return SystemError(err != 0 ? err : EIO);
}

} // namespace brenwick::serial
