#include "base/UniqueFd.h"
#include "image/AtomicFile.h"
#include "image/TempFileName.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brenwick {

namespace {

constexpr int kMaxLinkHops = 40;                     // as the kernel's own limit (ELOOP)
constexpr std::chrono::seconds kNoProgressLimit{30}; // a device or FIFO reader that takes nothing
constexpr int kPollSliceMs = 200;

// A new file next to the target, created with mode 0666 so that the kernel applies the umask, as it would
// for any file the user creates; removed again unless it was renamed into place.
class CTempFile {
  public:
    explicit CTempFile(const std::string& target) {
        for (int attempt = 0; attempt < 100 && m_Fd < 0; ++attempt) {
            const std::string name = TempFileNameIn(FolderOf(target));
            m_Fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_Fd >= 0) {
                m_Path = name;
            } else if (errno != EEXIST) {
                break;
            }
        }
        m_Errno = m_Fd < 0 ? errno : 0;
    }
    ~CTempFile() {
        if (m_Fd >= 0) {
            ::close(m_Fd);
        }
        if (!m_Path.empty() && !m_Kept) {
            ::unlink(m_Path.c_str());
        }
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    int Fd() const { return m_Fd; }
    int OpenError() const { return m_Errno; }
    const std::string& Path() const { return m_Path; }
    int CloseChecked() {
        const int rc = ::close(m_Fd);
        m_Fd = -1;
        return rc == 0 ? 0 : errno;
    }
    void Keep() { m_Kept = true; }

  private:
    std::string m_Path;
    int m_Fd = -1;
    int m_Errno = 0;
    bool m_Kept = false;
};

// Writes every byte; a descriptor that is not ready (a FIFO or a terminal opened non-blocking) is waited
// for in bounded slices.
int WriteAll(int fd, std::span<const uint8_t> data) {
    size_t done = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            lastProgress = std::chrono::steady_clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (std::chrono::steady_clock::now() - lastProgress > kNoProgressLimit) {
                return ETIMEDOUT;
            }
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, kPollSliceMs) < 0 && errno != EINTR) {
                return errno;
            }
            continue;
        }
        return n < 0 ? errno : EIO;
    }
    return 0;
}

// Follows symbolic links from path to the name that is finally replaced; a link to a file that does not
// exist yet leads to where that file is to be created.
int ResolveLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            return errno == ENOENT ? 0 : errno;
        }
        if (!S_ISLNK(st.st_mode)) {
            return 0;
        }
        if (hops == kMaxLinkHops) {
            return ELOOP;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0) {
            return errno;
        }
        link.resize(static_cast<size_t>(n));
        target = !link.empty() && link[0] == '/' ? link : FolderOf(target) + link;
    }
}

int ReplaceFile(const std::string& target, std::span<const uint8_t> data, const struct stat* old) {
    CTempFile temp(target);
    if (temp.Fd() < 0) {
        return temp.OpenError();
    }
    if (old != nullptr && ::fchmod(temp.Fd(), old->st_mode & 07777) != 0) {
        return errno;
    }
    if (const int err = WriteAll(temp.Fd(), data); err != 0) {
        return err;
    }
    if (::fsync(temp.Fd()) != 0) {
        return errno;
    }
    if (const int err = temp.CloseChecked(); err != 0) {
        return err;
    }
    if (::rename(temp.Path().c_str(), target.c_str()) != 0) {
        return errno;
    }
    temp.Keep();
    return 0;
}

// A device or FIFO is written as it is. O_NONBLOCK keeps the open of a FIFO without a reader from waiting
// for ever (it fails with ENXIO); no O_CREAT or O_TRUNC, so nothing is made or cut short.
int WriteInPlace(const std::string& path, std::span<const uint8_t> data) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) {
        return errno;
    }
    if (const int err = WriteAll(fd.Get(), data); err != 0) {
        return err;
    }
    return fd.CloseChecked();
}

} // namespace

std::string WriteErrorText(int errnoValue) {
    return std::strerror(errnoValue);
}

int WriteFileAtomically(const std::string& path, std::span<const uint8_t> data) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // Also reached through links such as /dev/stdout, whose link text need not be a path at all.
        return WriteInPlace(path, data);
    }
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        return errno;
    }
    std::string target;
    if (const int err = ResolveLinks(path, target); err != 0) {
        return err;
    }
    return ReplaceFile(target, data, exists ? &st : nullptr);
}

} // namespace brenwick
