#include "base/HomeFolder.h"
#include "base/UniqueFd.h"
#include "station/StationSystem.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brenwick::station::system {

namespace {

// Holds a flock() lock and lets it go when it goes.
class CFileLock {
  public:
    CFileLock() = default;
    ~CFileLock() {
        if (m_Fd >= 0) {
            ::flock(m_Fd, LOCK_UN);
        }
    }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // LOCK_SH or LOCK_EX, waiting at most kLockWait for another holder.
    bool Take(int fd, int operation, const std::string& path, std::string* error) {
        int failure = 0;
        const LockTry result = WaitForLock([&] {
            if (::flock(fd, operation | LOCK_NB) == 0) {
                return LockTry::Locked;
            }
            failure = errno;
            return failure == EWOULDBLOCK || failure == EINTR ? LockTry::Busy : LockTry::Failed;
        });
        if (result == LockTry::Locked) {
            m_Fd = fd;
            return true;
        }
        if (error != nullptr) {
            *error = result == LockTry::Busy ? path + ": locked by another program for more than " +
                                                   std::to_string(kLockWait.count()) + " s"
                                             : "cannot lock " + ErrorText(path, failure);
        }
        return false;
    }

  private:
    int m_Fd = -1;
};

// Opens path without waiting (a FIFO without a writer or reader, a terminal) and refuses anything that is
// not a regular file. A symbolic link is followed.
UniqueFd OpenRegular(const std::string& path, int flags, std::string* error) {
    UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) {
        if (error != nullptr) {
            *error = ErrorText(path, errno);
        }
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        if (error != nullptr) {
            *error = path + (S_ISDIR(st.st_mode) ? ": is a folder" : ": not a regular file");
        }
        return {};
    }
    return fd;
}

bool Failed(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

} // namespace

std::string StateFolder() {
    // XDG base directories must be absolute: a relative one is ignored.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        std::string folder = state;
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        return folder + "/brenwick";
    }
    return HomeFolder() + "/.local/state/brenwick";
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    return name;
}

std::string UserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
        return found->pw_name;
    }
    const char* user = std::getenv("USER");
    return user != nullptr ? user : "";
}

bool ReadRegularFile(const std::string& path, bool shared, const std::function<void(std::string_view)>& chunk,
                     std::string* error) {
    const UniqueFd fd = OpenRegular(path, O_RDONLY, error);
    if (!fd.Valid()) {
        return false;
    }
    CFileLock lock;
    if (shared && !lock.Take(fd.Get(), LOCK_SH, path, error)) {
        return false;
    }
    std::vector<char> buffer(size_t{64} * 1024);
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Failed(error, "cannot read " + ErrorText(path, errno));
        }
        if (n == 0) {
            return true;
        }
        chunk(std::string_view(buffer.data(), static_cast<size_t>(n)));
    }
}

bool AppendLine(const std::string& path, std::string_view line, std::string* error) {
    // Read access too: the last byte tells whether an earlier write was cut short.
    const UniqueFd fd = OpenRegular(path, O_RDWR | O_APPEND | O_CREAT, error);
    if (!fd.Valid()) {
        return false;
    }
    CFileLock lock;
    if (!lock.Take(fd.Get(), LOCK_EX, path, error)) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        return Failed(error, ErrorText(path, errno));
    }
    const off_t before = st.st_size;
    char last = '\n';
    if (before > 0 && ::pread(fd.Get(), &last, 1, before - 1) != 1) {
        return Failed(error, "cannot read " + ErrorText(path, errno));
    }
    std::string text;
    text.reserve(line.size() + 1);
    text.append(last != '\n' ? "\n" : "").append(line);
    // One write; another one only when the first was short (a full disk can do that).
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int reason = n < 0 ? errno : EIO;
            // Take back what got in, so that no part of the line stays behind.
            if (done > 0 && ::ftruncate(fd.Get(), before) != 0) {
                return Failed(error,
                              "cannot write " + ErrorText(path, reason) + " (a part of the line is left)");
            }
            return Failed(error, "cannot write " + ErrorText(path, reason));
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.Get()) != 0) {
        return Failed(error, "cannot write " + ErrorText(path, errno));
    }
    return true;
}

} // namespace brenwick::station::system
