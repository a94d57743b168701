#include "base/UniqueFd.h"
#include "cli/StopSignals.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace brenwick::cli {

struct CStopSignals::SystemPart {
    sigset_t signals{};
    sigset_t previous{};
    UniqueFd fd;
};

void CStopSignals::SystemPartDelete::operator()(SystemPart* part) const {
    std::default_delete<SystemPart>()(part);
}

CStopSignals::CStopSignals() : m_System(std::make_unique<SystemPart>().release()) {
    SystemPart& s = *m_System;
    sigemptyset(&s.signals);
    sigaddset(&s.signals, SIGINT);
    sigaddset(&s.signals, SIGTERM);
    sigaddset(&s.signals, SIGHUP); // the terminal went away: end like SIGTERM
    ::pthread_sigmask(SIG_BLOCK, &s.signals, &s.previous);
    s.fd.Reset(::signalfd(-1, &s.signals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!s.fd.Valid()) {
        ::pthread_sigmask(SIG_SETMASK, &s.previous, nullptr); // without the fd, Ctrl+C must still end the run
    }
}

CStopSignals::~CStopSignals() {
    m_System->fd.Reset();
    // A signal still pending would be delivered with its default action once unblocked: only a run that
    // was stopped can have one, and it ends with the interrupted status anyway, so the old mask stays off
    // in that case.
    if (!m_Stopped) {
        ::pthread_sigmask(SIG_SETMASK, &m_System->previous, nullptr);
    }
}

bool CStopSignals::WaitFor(int timeoutMs) {
    if (m_Stopped) {
        return true;
    }
    const UniqueFd& fd = m_System->fd;
    if (!fd.Valid()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return false;
    }
    pollfd p{fd.Get(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) > 0) {
        signalfd_siginfo info{};
        if (::read(fd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            m_Stopped = true;
            m_Signal = static_cast<int>(info.ssi_signo);
        }
    }
    return m_Stopped;
}

} // namespace brenwick::cli
