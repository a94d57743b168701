// What a user reads for each error code of the serial layer, on each system: the program's own codes are
// the same everywhere, the system's codes are errno values on POSIX and Win32 error codes on Windows.
#include "serial/PortErrors.h"

#include "serial/SerialTypes.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <tuple>

#if defined(_WIN32)
#include "serial/win32/UndefWindowsNames.h"

#include <windows.h>
#endif

using namespace brenwick::serial;

namespace {

struct ErrorCase {
    int32_t code;
    const char* part;
    bool gone; // a transfer that fails with it finds the device gone
};

TEST(SerialPortErrors, EveryCodeAUserMeetsHasItsOwnSentence) {
    const ErrorCase cases[] = {
        {ERROR_TIMEOUT, "in time", false},
        {ERROR_INVALID_HANDLE, "not open", false},
        {ERROR_ALREADY_INITIALIZED, "already open", false},
        {ERROR_INVALID_FUNCTION, "plain I/O", false},
        {ERROR_OPERATION_ABORTED, "serial port error", false},
        {E_INVALIDARG, "invalid setting", false},
        {-5, "-5", false},
#if defined(_WIN32)
        // Windows answers "access denied" when another program has the port open.
        {static_cast<int32_t>(ERROR_ACCESS_DENIED), "in use by another program", false},
        {static_cast<int32_t>(ERROR_SHARING_VIOLATION), "in use by another program", false},
        {static_cast<int32_t>(ERROR_BUSY), "in use by another program", false},
        {static_cast<int32_t>(ERROR_FILE_NOT_FOUND), "no such device", false},
        {static_cast<int32_t>(ERROR_PATH_NOT_FOUND), "no such device", false},
        {static_cast<int32_t>(ERROR_GEN_FAILURE), "removed", true},
        {static_cast<int32_t>(ERROR_BAD_COMMAND), "removed", true},
        {static_cast<int32_t>(ERROR_DEVICE_NOT_CONNECTED), "removed", true},
        {static_cast<int32_t>(ERROR_NOT_READY), "removed", true},
        {static_cast<int32_t>(ERROR_NOT_SUPPORTED), "not a serial port", false},
        {static_cast<int32_t>(ERROR_INVALID_PARAMETER), "does not support this setting", false},
        {static_cast<int32_t>(ERROR_NOT_ENOUGH_MEMORY), "serial port error: ", false},
#else
        {EACCES, "dialout", false},
        {EBUSY, "in use by another program", false},
        {EWOULDBLOCK, "in use by another program", false},
        {ENOENT, "no such device", false},
        {EIO, "removed", true},
        {ENODEV, "removed", true},
        {ENOTTY, "not a serial port", false},
        {EINVAL, "does not support this setting", false},
        {ENOMEM, "serial port error: ", false},
#endif
    };
    for (const auto& [code, part, gone] : cases) {
        SCOPED_TRACE(code);
        EXPECT_NE(DescribePortError(code).find(part), std::string::npos) << DescribePortError(code);
        EXPECT_EQ(DeviceGone(code), gone);
    }
    EXPECT_FALSE(DeviceGone(ERROR_SUCCESS));
}

} // namespace
