#include "support/HostPort.h"

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    return static_cast<int>(
        std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
}

} // namespace

CHostPort::CHostPort(const std::string& path) : m_Fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    termios tio{};
    if (m_Fd >= 0 && ::tcgetattr(m_Fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_Fd, TCSANOW, &tio);
    }
}

void CHostPort::Close() {
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
    }
}

void CHostPort::Write(const std::vector<uint8_t>& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_Fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            throw std::runtime_error("write to the port failed");
        }
        done += static_cast<size_t>(n);
    }
}

// The port blocks, so a read follows only a poll that saw data or a hang-up (which the read then reports).
std::vector<uint8_t> CHostPort::Read(size_t count, int timeoutMs) {
    std::vector<uint8_t> out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (pollfd p{m_Fd, POLLIN, 0};
         out.size() < count && !m_HungUp && ::poll(&p, 1, RemainingMs(deadline)) > 0;) {
        uint8_t buffer[512];
        const ssize_t n = ::read(m_Fd, buffer, std::min(sizeof buffer, count - out.size()));
        m_HungUp = n <= 0;
        if (n > 0) {
            m_LastByte = Clock::now();
            out.insert(out.end(), buffer, buffer + n);
        }
    }
    return out;
}

std::vector<uint8_t> CHostPort::ReadMessage(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<uint8_t> message = Read(2, timeoutMs);
    if (message.size() == 2) {
        const size_t length = static_cast<size_t>(message[0] | ((message[1] & 0x1F) << 8));
        const auto rest = Read((length == 0 ? 8194 : std::max<size_t>(length, 2)) - 2, RemainingMs(deadline));
        message.insert(message.end(), rest.begin(), rest.end());
    }
    return message;
}

std::vector<uint8_t> CHostPort::Exchange(const std::vector<uint8_t>& request, int timeoutMs) {
    Write(request);
    return ReadMessage(timeoutMs);
}

bool CHostPort::SeesHangUp(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_HungUp && RemainingMs(deadline) > 0) {
        Read(4096, RemainingMs(deadline));
    }
    return m_HungUp;
}
