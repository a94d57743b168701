#pragma once

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace brenwick {

// Owns one file descriptor and closes it when it goes; moves hand it on.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_Fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_Fd(std::exchange(other.m_Fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_Fd, -1));
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_Fd; }
    bool Valid() const { return m_Fd >= 0; }
    void Reset(int fd = -1) {
        if (m_Fd >= 0) {
            ::close(m_Fd);
        }
        m_Fd = fd;
    }
    // Hands the descriptor over; the object no longer closes it.
    int Release() { return std::exchange(m_Fd, -1); }
    // Closes now and reports the close's own error (0 or an errno value): a written file's last error may
    // only show here.
    int CloseChecked() {
        const int rc = ::close(std::exchange(m_Fd, -1));
        return rc == 0 ? 0 : errno;
    }

  private:
    int m_Fd = -1;
};

} // namespace brenwick
