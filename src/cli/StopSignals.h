#pragma once

#include <csignal>

namespace brenwick::cli {

// Turns SIGINT, SIGTERM and SIGHUP into something the command's wait loop looks at, instead of killing the
// process in the middle of a run with a port open. Create it before any thread: the signals are blocked in
// every thread that starts later and are read from a signalfd, so no other thread's system calls are
// interrupted.
class CStopSignals {
  public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // Waits up to timeoutMs for a stop signal; true once one has arrived (and from then on).
    bool WaitFor(int timeoutMs);
    bool Stopped() const { return m_Stopped; }
    int Signal() const { return m_Signal; }

  private:
    sigset_t m_Signals{};
    sigset_t m_Previous{};
    int m_Fd = -1;
    bool m_Stopped = false;
    int m_Signal = 0;
};

} // namespace brenwick::cli
