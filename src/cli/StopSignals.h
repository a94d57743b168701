#pragma once

#include <memory>

namespace brenwick::cli {

// Turns a request to stop into something the command's wait loop looks at, instead of killing the process
// in the middle of a run with a port open. On POSIX those are SIGINT, SIGTERM and SIGHUP: create this
// before any thread, as the signals are blocked in every thread that starts later and are read from a
// signalfd, so no other thread's system calls are interrupted. On Windows they are the console's Ctrl+C,
// Ctrl+Break and close events, which a handler thread of the system's turns into the same state; it cancels
// a read the creating thread is stuck in, and ends the process with the interrupted status when a request
// is not taken within a few seconds, when a second Ctrl+C or Ctrl+Break comes, or when a closing console's
// time is nearly up (win32/Console.h).
class CStopSignals {
  public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // Waits up to timeoutMs for a stop request; true once one has arrived (and from then on).
    bool WaitFor(int timeoutMs);
    bool Stopped() const { return m_Stopped; }
    // The signal that asked (on Windows: SIGINT for Ctrl+C, SIGBREAK for Ctrl+Break, SIGTERM for the rest).
    int Signal() const { return m_Signal; }

  private:
    // What the system needs to catch the requests: posix/StopSignalsPosix.cpp, win32/StopSignalsWin32.cpp.
    struct SystemPart;
    struct SystemPartDelete {
        void operator()(SystemPart* part) const;
    };

    std::unique_ptr<SystemPart, SystemPartDelete> m_System;
    bool m_Stopped = false;
    int m_Signal = 0;
};

} // namespace brenwick::cli
