#include "image/FileReader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFileReader::~CFileReader() {
    Close();
}

int CFileReader::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    m_Fd = fd;
    m_Pos = m_End = 0;
    m_Eof = false;
    m_Errno = 0;
    m_Line = 1;
    return 0;
}

void CFileReader::Close() {
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
    }
}

bool CFileReader::Fill() {
    if (m_Fd < 0 || m_Eof) {
        return false;
    }
    for (;;) {
        const ssize_t n = ::read(m_Fd, m_Buffer.get(), kBufferSize);
        if (n > 0) {
            m_Pos = 0;
            m_End = static_cast<size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            m_Errno = errno;
        }
        return false;
    }
}

long long CFileReader::Size() {
    struct stat st {};
    if (m_Fd < 0 || ::fstat(m_Fd, &st) != 0) {
        m_Errno = m_Fd < 0 ? EBADF : errno;
        return -1;
    }
    return static_cast<long long>(st.st_size);
}

size_t CFileReader::ReadBlock(uint8_t* dest, size_t length) {
    size_t done = 0;
    // Whatever Get() buffered comes first.
    while (done < length && m_Pos < m_End) {
        dest[done++] = m_Buffer[m_Pos++];
    }
    while (done < length && m_Fd >= 0) {
        const ssize_t n = ::read(m_Fd, dest + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0) {
                m_Errno = errno;
            }
            m_Eof = true;
            break;
        }
    }
    return done;
}
