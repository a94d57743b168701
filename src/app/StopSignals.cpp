#include "app/StopSignals.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace brenwick::app {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
int g_PipeRead = -1;
int g_PipeWrite = -1;

extern "C" void OnStopSignal(int signalNumber) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_PipeWrite, &byte, 1); // full pipe: one is enough
    errno = saved;
}

} // namespace

CStopSignals::CStopSignals(QObject* parent) : QObject(parent) {
    int fds[2] = {-1, -1};
    if (g_PipeRead >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // only one instance handles the signals
    }
    g_PipeRead = fds[0];
    g_PipeWrite = fds[1];
    m_Notifier = std::make_unique<QSocketNotifier>(g_PipeRead, QSocketNotifier::Read);
    connect(m_Notifier.get(), &QSocketNotifier::activated, this, &CStopSignals::OnReadable);
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

CStopSignals::~CStopSignals() {
    if (!m_Notifier) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
    m_Notifier.reset();
    ::close(g_PipeRead);
    ::close(g_PipeWrite);
    g_PipeRead = g_PipeWrite = -1;
}

void CStopSignals::OnReadable() {
    unsigned char bytes[16];
    ssize_t got = 0;
    int last = 0;
    while ((got = ::read(g_PipeRead, bytes, sizeof bytes)) > 0) {
        last = bytes[got - 1];
    }
    if (last != 0) {
        emit StopRequested(last);
    }
}

} // namespace brenwick::app
