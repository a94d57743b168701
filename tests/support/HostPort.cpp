#include "support/HostPort.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

} // namespace

CHostPort::CHostPort(const std::string& path) {
    m_Fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_Fd < 0) {
        return;
    }
    termios tio{};
    ::tcgetattr(m_Fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_Fd, TCSANOW, &tio);
}

CHostPort::~CHostPort() {
    Close();
}

void CHostPort::Close() {
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
    }
}

void CHostPort::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_Fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{m_Fd, POLLOUT, 0};
            ::poll(&p, 1, 1000);
        } else if (!(n < 0 && errno == EINTR)) {
            throw std::runtime_error("write to the port failed");
        }
    }
}

std::vector<uint8_t> CHostPort::Read(size_t count, int timeoutMs) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
        pollfd p{m_Fd, POLLIN, 0};
        const int r = ::poll(&p, 1, RemainingMs(deadline));
        if (r == 0) {
            break;
        }
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        uint8_t buffer[512];
        const size_t want = std::min(sizeof buffer, count - out.size());
        const ssize_t n = ::read(m_Fd, buffer, want);
        if (n > 0) {
            m_LastByte = std::chrono::steady_clock::now();
            out.insert(out.end(), buffer, buffer + n);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break; // hung up
        }
    }
    return out;
}

std::vector<uint8_t> CHostPort::ReadMessage(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<uint8_t> message = Read(2, timeoutMs);
    if (message.size() < 2) {
        return message;
    }
    size_t length = static_cast<size_t>(message[0] | ((message[1] & 0x1F) << 8));
    length = length == 0 ? 8194 : std::max<size_t>(length, 2);
    const auto rest = Read(length - 2, RemainingMs(deadline));
    message.insert(message.end(), rest.begin(), rest.end());
    return message;
}

std::vector<uint8_t> CHostPort::Exchange(const std::vector<uint8_t>& request, int timeoutMs) {
    Write(request);
    return ReadMessage(timeoutMs);
}

bool CHostPort::StaysQuiet(int quietMs) {
    return Read(1, quietMs).empty();
}

bool CHostPort::SeesHangUp(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{m_Fd, POLLIN, 0};
        const int r = ::poll(&p, 1, RemainingMs(deadline));
        if (r == 0) {
            return false;
        }
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            return true;
        }
        uint8_t buffer[256];
        const ssize_t n = ::read(m_Fd, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno == EIO)) {
            return true;
        }
    }
}
