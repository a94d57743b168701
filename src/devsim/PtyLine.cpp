#include "devsim/PtyLine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace brenwick {

namespace devsim {

namespace {

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool SetError(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
    return false;
}

} // namespace

bool OpenRawPty(PtyPair& pty, std::string* error) {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return SetError(error, ErrnoText("openpty"));
    }
    pty.master.Reset(master);
    pty.slave.Reset(slave);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0) {
        return SetError(error, ErrnoText("tcgetattr"));
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(slave, TCSANOW, &tio) != 0) {
        return SetError(error, ErrnoText("tcsetattr"));
    }
    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
        return SetError(error, ErrnoText("fcntl"));
    }
    char name[256] = {};
    if (::ptsname_r(master, name, sizeof name) != 0) {
        return SetError(error, ErrnoText("ptsname"));
    }
    pty.path = name;
    return true;
}

bool WaitUntil(Clock::time_point deadline, int wakeFd) {
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
        const timespec ts{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        pollfd p{wakeFd, POLLIN, 0};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r > 0) {
            return false;
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
    }
}

WriteResult WriteAll(int fd, std::span<const uint8_t> bytes, int wakeFd, int stallMs) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return WriteResult::Failed;
        }
        pollfd p[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        const int r = ::poll(p, 2, stallMs);
        if (r == 0) {
            return WriteResult::Failed; // nobody reads the port: give up rather than stall for ever
        }
        if (r > 0 && (p[1].revents & POLLIN)) {
            return WriteResult::Stopped;
        }
        if (r > 0 && (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p[0].revents & POLLOUT)) {
            return WriteResult::Failed;
        }
    }
    return WriteResult::Done;
}

bool PlaceLink(const std::string& link, const std::string& target, std::string* error) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            return SetError(error, link + " exists and is not a symbolic link");
        }
        if (::unlink(link.c_str()) != 0 && errno != ENOENT) {
            return SetError(error, ErrnoText(("cannot replace " + link).c_str()));
        }
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        return SetError(error, ErrnoText(("cannot create " + link).c_str()));
    }
    return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
    std::vector<char> buf(target.size() + 2);
    const ssize_t n = ::readlink(link.c_str(), buf.data(), buf.size());
    if (n >= 0 && static_cast<size_t>(n) == target.size() &&
        target.compare(0, target.size(), buf.data(), target.size()) == 0) {
        ::unlink(link.c_str());
    }
}

} // namespace devsim

} // namespace brenwick
