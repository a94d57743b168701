#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

// The system calls behind the flash log and the file digest: posix/StationSystemPosix.cpp,
// win32/StationSystemWin32.cpp.
namespace brenwick::station::system {

// The folder the program keeps the flash log in, in UTF-8: $XDG_STATE_HOME/brenwick (or
// ~/.local/state/brenwick) on Linux, %LOCALAPPDATA%\Brenwick on Windows.
std::string StateFolder();
// This computer's host name, and the name of the user the program runs as; "" when the system has none.
std::string HostName();
std::string UserName();

// Hands a regular file's bytes to `chunk` in order, from the start to the end. Anything that is not a
// regular file is refused at once (a FIFO is never waited on). With `shared`, the file is read under a shared
// lock, so that a record being appended is never seen half written. False with `error` set when the file
// cannot be opened, locked or read.
bool ReadRegularFile(const std::string& path, bool shared, const std::function<void(std::string_view)>& chunk,
                     std::string* error);

// Appends `line` (which ends in '\n') to the regular file `path`, created when missing, under an exclusive
// lock, in one write, then flushes it to the disk. A last line that an earlier writer left without its end
// is ended first, so that the two do not run together.
bool AppendLine(const std::string& path, std::string_view line, std::string* error);

// How long a reader or writer waits for another one's lock before it gives up.
constexpr std::chrono::seconds kLockWait{5};

enum class LockTry { Locked, Busy, Failed };

// Calls tryLock until it no longer reports Busy, for at most kLockWait; Busy again after that.
inline LockTry WaitForLock(const std::function<LockTry()>& tryLock) {
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const LockTry result = tryLock();
        if (result != LockTry::Busy || std::chrono::steady_clock::now() >= deadline) {
            return result;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20)); // a writer holds it for milliseconds
    }
}

// "PATH: reason" for an errno value, in the system's words.
inline std::string ErrorText(const std::string& path, int errnoValue) {
    return path + ": " + std::generic_category().message(errnoValue);
}

} // namespace brenwick::station::system
