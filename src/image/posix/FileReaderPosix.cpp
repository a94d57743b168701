#include "base/UniqueFd.h"
#include "image/FileReader.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brenwick {

struct CFileReader::SystemFile {
    UniqueFd fd;
    bool nonBlocking = false;
    bool hangUp = false; // a writer was there and has gone
};

void CFileReader::SystemFileClose::operator()(SystemFile* file) const {
    std::default_delete<SystemFile>()(file);
}

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

int CFileReader::OpenFile(const std::string& path) {
    auto file = std::make_unique<SystemFile>();
    file->nonBlocking = true;
    // O_NONBLOCK: opening a FIFO that no one writes must not wait for a writer.
    file->fd.Reset(path == "-" ? OpenStandardInput(file->nonBlocking)
                               : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file->fd.Valid()) {
        return errno;
    }
    struct stat st {};
    if (::fstat(file->fd.Get(), &st) != 0) {
        return errno;
    }
    if (S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    m_Stream = !S_ISREG(st.st_mode);
    m_Fifo = S_ISFIFO(st.st_mode);
    m_File.reset(file.release());
    return 0;
}

CFileReader::ReadOutcome CFileReader::ReadSome(size_t& got) {
    SystemFile& file = *m_File;
    if (m_Stream && !file.nonBlocking) {
        pollfd p{file.fd.Get(), POLLIN, 0};
        const int rc = ::poll(&p, 1, kSliceMs);
        if (rc > 0 && (p.revents & POLLHUP) != 0) {
            file.hangUp = true;
        }
        if (rc == 0) {
            return ReadOutcome::Waiting;
        }
    }
    const ssize_t n = ::read(file.fd.Get(), m_Buffer.get(), kBufferSize);
    if (n > 0) {
        got = static_cast<size_t>(n);
        return ReadOutcome::Data;
    }
    if (n < 0 && errno == EINTR) {
        return ReadOutcome::Waiting;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        m_Errno = errno;
        return ReadOutcome::Failed;
    }
    // A FIFO reads as empty before its first writer has come: only once a writer was there (it wrote, or it
    // hung up) is an empty read the end of the file.
    if (n == 0 && (!m_Fifo || m_DataSeen || file.hangUp)) {
        return ReadOutcome::End;
    }
    if (file.nonBlocking) {
        pollfd p{file.fd.Get(), POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) > 0 && (p.revents & POLLHUP) != 0) {
            file.hangUp = true;
        }
    }
    return ReadOutcome::Waiting;
}

long long CFileReader::FileSize() {
    struct stat st {};
    if (::fstat(m_File->fd.Get(), &st) != 0) {
        m_Errno = errno;
        return -1;
    }
    return static_cast<long long>(st.st_size);
}

} // namespace brenwick
