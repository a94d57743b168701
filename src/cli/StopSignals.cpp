#include "cli/StopSignals.h"

#include <cerrno>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace brenwick::cli {

CStopSignals::CStopSignals() {
    sigemptyset(&m_Signals);
    sigaddset(&m_Signals, SIGINT);
    sigaddset(&m_Signals, SIGTERM);
    sigaddset(&m_Signals, SIGHUP); // the terminal went away: end like SIGTERM
    ::pthread_sigmask(SIG_BLOCK, &m_Signals, &m_Previous);
    m_Fd = ::signalfd(-1, &m_Signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (m_Fd < 0) {
        ::pthread_sigmask(SIG_SETMASK, &m_Previous, nullptr); // without the fd, Ctrl+C must still end the run
    }
}

CStopSignals::~CStopSignals() {
    if (m_Fd >= 0) {
        ::close(m_Fd);
    }
    // A signal still pending would be delivered with its default action once unblocked: only a run that
    // was stopped can have one, and it ends with the interrupted status anyway, so the old mask stays off
    // in that case.
    if (!m_Stopped) {
        ::pthread_sigmask(SIG_SETMASK, &m_Previous, nullptr);
    }
}

bool CStopSignals::WaitFor(int timeoutMs) {
    if (m_Stopped) {
        return true;
    }
    if (m_Fd < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return false;
    }
    pollfd p{m_Fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) > 0) {
        signalfd_siginfo info{};
        if (::read(m_Fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            m_Stopped = true;
            m_Signal = static_cast<int>(info.ssi_signo);
        }
    }
    return m_Stopped;
}

} // namespace brenwick::cli
