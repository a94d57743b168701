#include "image/FileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brenwick {

namespace {

constexpr int kSliceMs = 100; // how often a waiting read looks at the stop hook

// Standard input gets a description of its own where the system allows it, so that making it non-blocking
// does not change it under the shell or another program sharing it. Where it cannot be opened again (a
// socket), a blocking duplicate is read only when poll() says it is ready.
int OpenStandardInput(bool& nonBlocking) {
    const int fd = ::open("/proc/self/fd/0", O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        nonBlocking = true;
        return fd;
    }
    nonBlocking = false;
    return ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
}

} // namespace

CFileReader::~CFileReader() {
    Close();
}

int CFileReader::Open(const std::string& path, ReadLimits limits) {
    Close();
    bool nonBlocking = true;
    // O_NONBLOCK: opening a FIFO that no one writes must not wait for a writer.
    const int fd = path == "-" ? OpenStandardInput(nonBlocking)
                               : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return err;
    }
    m_Fd = fd;
    m_Limits = std::move(limits);
    m_Stream = !S_ISREG(st.st_mode);
    m_Fifo = S_ISFIFO(st.st_mode);
    m_NonBlocking = nonBlocking;
    m_DataSeen = m_HangUp = m_Stopped = m_TimedOut = false;
    m_BytesRead = 0;
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

bool CFileReader::StopRequested() {
    if (m_Limits.stopRequested && m_Limits.stopRequested()) {
        m_Stopped = true;
    }
    return m_Stopped;
}

void CFileReader::WaitSlice() {
    pollfd p{m_Fd, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) > 0 && (p.revents & POLLHUP) != 0) {
        m_HangUp = true;
    }
}

bool CFileReader::Fill() {
    if (m_Fd < 0 || m_Eof || m_Stopped || m_TimedOut) {
        return false;
    }
    const auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
        if (StopRequested()) {
            return false;
        }
        bool ready = true;
        if (m_Stream && !m_NonBlocking) {
            pollfd p{m_Fd, POLLIN, 0};
            const int rc = ::poll(&p, 1, kSliceMs);
            ready = rc != 0;
            if (rc > 0 && (p.revents & POLLHUP) != 0) {
                m_HangUp = true;
            }
        }
        if (ready) {
            const ssize_t n = ::read(m_Fd, m_Buffer.get(), kBufferSize);
            if (n > 0) {
                m_Pos = 0;
                m_End = static_cast<size_t>(n);
                m_BytesRead += static_cast<uint64_t>(n);
                m_DataSeen = true;
                return true;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                m_Errno = errno;
                return false;
            }
            // A FIFO reads as empty before its first writer has come: only once a writer was there (it
            // wrote, or it hung up) is an empty read the end of the file.
            if (n == 0 && (!m_Fifo || m_DataSeen || m_HangUp)) {
                return false;
            }
            if (m_NonBlocking) {
                WaitSlice();
            }
        }
        if (std::chrono::steady_clock::now() - idleSince > m_Limits.idleLimit) {
            m_TimedOut = true;
            return false;
        }
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
    while (done < length) {
        if (m_Pos == m_End && !Fill()) {
            m_Eof = true;
            break;
        }
        const size_t n = std::min(length - done, m_End - m_Pos);
        std::memcpy(dest + done, m_Buffer.get() + m_Pos, n);
        m_Pos += n;
        done += n;
    }
    return done;
}

} // namespace brenwick
