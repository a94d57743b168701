#include "image/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CTempFile {
  public:
    explicit CTempFile(const std::string& target) : m_Path(FolderOf(target) + ".brenwick-XXXXXX") {
        m_Fd = ::mkstemp(m_Path.data());
    }
    ~CTempFile() {
        if (m_Fd >= 0) {
            ::close(m_Fd);
        }
        if (!m_Kept) {
            ::unlink(m_Path.c_str());
        }
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    int Fd() const { return m_Fd; }
    const std::string& Path() const { return m_Path; }
    int CloseChecked() {
        const int rc = ::close(m_Fd);
        m_Fd = -1;
        return rc == 0 ? 0 : errno;
    }
    void Keep() { m_Kept = true; }

  private:
    static std::string FolderOf(const std::string& path) {
        const auto slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }

    std::string m_Path;
    int m_Fd = -1;
    bool m_Kept = false;
};

int WriteAll(int fd, std::span<const uint8_t> data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

int WriteFileAtomically(const std::string& path, std::span<const uint8_t> data) {
    CTempFile temp(path);
    if (temp.Fd() < 0) {
        return errno;
    }
    // Keep the mode of a file being replaced; a new one gets the usual rw-r--r--.
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(temp.Fd(), mode) != 0) {
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
    if (::rename(temp.Path().c_str(), path.c_str()) != 0) {
        return errno;
    }
    temp.Keep();
    return 0;
}
