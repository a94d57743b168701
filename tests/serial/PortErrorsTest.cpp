// What a user reads for each error code of the serial layer, on each system: the program's own codes are
// the same everywhere, the system's codes are errno values on POSIX and Win32 error codes on Windows.
#include "serial/PortErrors.h"

#include "serial/SerialTypes.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <system_error>

#if defined(_WIN32)
#include "serial/win32/UndefWindowsNames.h"

#include <windows.h>
#endif

using namespace brenwick::serial;

namespace {

struct ErrorCase {
    std::error_code code;
    const char* sentence; // the whole sentence, or (ending in "...") its beginning
    bool gone;            // a transfer that fails with it finds the device gone
};

std::error_code System(long value) {
    return {static_cast<int>(value), std::system_category()};
}

// The sentences the front ends show, for the own codes and for each system's codes that mean something to
// a user. The own codes share no numbers with the system's: a system code of the same value is read as the
// system's.
TEST(SerialPortErrors, EveryCodeAUserMeetsHasItsOwnSentence) {
    const ErrorCase cases[] = {
        {{}, "no error", false},
        {PortErrc::TimedOut, "the serial port did not respond in time", false},
        {PortErrc::NotOpen, "the port is not open", false},
        {PortErrc::AlreadyOpen, "the port is already open", false},
        {PortErrc::NotPossibleOnPlainPort, "the operation is not possible on a port opened for plain I/O",
         false},
        {PortErrc::Aborted, "the transfer was cancelled", false},
        {PortErrc::InvalidArgument, "invalid setting for the serial port", false},
        {System(-5), "serial port error -5", false},
        {std::make_error_code(std::errc::resource_unavailable_try_again), "serial port error: ...", false},
#if defined(_WIN32)
        // Windows answers "access denied" when another program has the port open.
        {System(ERROR_ACCESS_DENIED), "the port is in use by another program", false},
        {System(ERROR_SHARING_VIOLATION), "the port is in use by another program", false},
        {System(ERROR_BUSY), "the port is in use by another program", false},
        {System(ERROR_FILE_NOT_FOUND), "no such device: ...", false},
        {System(ERROR_PATH_NOT_FOUND), "no such device: ...", false},
        {System(ERROR_GEN_FAILURE), "the device was removed or stopped responding", true},
        {System(ERROR_BAD_COMMAND), "the device was removed or stopped responding", true},
        {System(ERROR_DEVICE_NOT_CONNECTED), "the device was removed or stopped responding", true},
        {System(ERROR_NOT_READY), "the device was removed or stopped responding", true},
        {System(ERROR_NOT_SUPPORTED), "this is not a serial port", false},
        {System(ERROR_INVALID_FUNCTION), "this is not a serial port", false},
        {System(ERROR_DEVICE_REMOVED), "the device was removed or stopped responding", true},
        {System(ERROR_INVALID_PARAMETER), "the serial port does not support this setting", false},
        {System(ERROR_NOT_ENOUGH_MEMORY), "serial port error: ...", false},
        // The own codes' numbers as Win32 codes are the system's.
        {System(ERROR_INVALID_HANDLE), "serial port error: ...", false},
        {System(ERROR_TIMEOUT), "serial port error: ...", false},
#else
        {System(EACCES), "permission denied: ...", false},
        {System(EPERM), "permission denied: ...", false},
        {System(EBUSY), "the port is in use by another program", false},
        {System(EWOULDBLOCK), "the port is in use by another program", false},
        {System(ENOENT), "no such device: ...", false},
        {System(EIO), "the device was removed or stopped responding", true},
        {System(ENXIO), "the device was removed or stopped responding", true},
        {System(ENODEV), "the device was removed or stopped responding", true},
        {System(ENOTTY), "this is not a serial port", false},
        {System(EINVAL), "the serial port does not support this setting", false},
        {System(ENOMEM), "serial port error: ...", false},
#endif
    };
    for (const auto& [code, sentence, gone] : cases) {
        SCOPED_TRACE(code.message());
        const std::string text = DescribePortError(code);
        const std::string expected = sentence;
        if (expected.ends_with("...")) {
            const std::string start = expected.substr(0, expected.size() - 3);
            EXPECT_EQ(text.substr(0, start.size()), start);
            EXPECT_GT(text.size(), start.size() + 1);
        } else {
            EXPECT_EQ(text, expected);
        }
        EXPECT_EQ(DeviceGone(code), gone);
    }
}

} // namespace
