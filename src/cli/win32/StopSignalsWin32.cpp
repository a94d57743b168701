#include "base/win32/UniqueHandle.h"
#include "cli/ExitCodes.h"
#include "cli/StopSignals.h"

#include <algorithm>
#include <csignal>
#include <mutex>
#include <windows.h>

namespace brenwick::cli {

struct CStopSignals::SystemPart {
    UniqueHandle wake;   // set by the handler; WaitFor waits on it
    UniqueHandle thread; // the command's thread, whose blocking reads a stop request cancels
};

void CStopSignals::SystemPartDelete::operator()(SystemPart* part) const {
    std::default_delete<SystemPart>()(part);
}

namespace {

constexpr DWORD kStepMs = 50;
// A command looks for a stop at least every tenth of a second; one that has not after this long waits in a
// read that cannot be waited on in slices (a pipe that cannot be peeked at, a console line), which is then
// cancelled so that it gets to look.
constexpr DWORD kCancelAfterMs = 500;
// A command that has still not taken the request by then (or has ended its wait without taking it) is ended
// here, with the interrupted status, as a pending signal's default action ends it on POSIX.
constexpr DWORD kTakeLimitMs = 3000;
// Once the handler returns from a close, log-off or shut-down event, Windows ends the process (about five
// seconds after a close at the latest). Holding the handler up to this long gives the run the time to stop
// and close its ports; the program's own exit ends the wait sooner.
constexpr DWORD kCloseGraceMs = 4500;

// The console calls the handler on a thread of its own. What it reaches lives for the whole process (it
// needs no destruction), and the live CStopSignals's handles are lent under the lock, so that a late event
// never uses a closed one.
struct StopState {
    std::mutex lock;
    bool live = false;       // a CStopSignals exists
    HANDLE wake = nullptr;   // its event, or null
    HANDLE thread = nullptr; // its thread, or null
    int signal = 0;          // the first request since it was made
    bool taken = false;      // its WaitFor has seen the request
    bool installed = false;
};
StopState g_Stop;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    int signal = 0;
    switch (event) {
    case CTRL_C_EVENT:
        signal = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
        signal = SIGBREAK;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        signal = SIGTERM;
        break;
    default:
        return FALSE;
    }
    const bool closing = signal == SIGTERM; // the process ends when this returns, whatever it returns
    {
        const std::lock_guard guard(g_Stop.lock);
        if (!g_Stop.live) {
            return TRUE; // a run that was stopped is cleaning up: as on POSIX, later requests wait for it
        }
        if (g_Stop.signal == 0) {
            g_Stop.signal = signal;
        }
        if (g_Stop.wake != nullptr) {
            ::SetEvent(g_Stop.wake);
        }
    }
    DWORD waited = 0;
    for (;; waited += kStepMs) {
        bool giveUp = false;
        {
            const std::lock_guard guard(g_Stop.lock);
            if (g_Stop.taken) {
                break;
            }
            giveUp = !g_Stop.live || waited >= kTakeLimitMs;
            if (!giveUp && waited >= kCancelAfterMs && g_Stop.thread != nullptr) {
                ::CancelSynchronousIo(g_Stop.thread);
            }
        }
        if (giveUp) {
            ::ExitProcess(static_cast<UINT>(kExitInterrupted));
        }
        ::Sleep(kStepMs);
    }
    if (closing && waited < kCloseGraceMs) {
        ::Sleep(kCloseGraceMs - waited);
    }
    return TRUE; // handled: the run ends itself, with the interrupted status
}

} // namespace

CStopSignals::CStopSignals() : m_System(std::make_unique<SystemPart>().release()) {
    // Manual reset: once stopped, every later wait returns at once.
    m_System->wake.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE thread = nullptr;
    const HANDLE self = ::GetCurrentProcess();
    if (::DuplicateHandle(self, ::GetCurrentThread(), self, &thread, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        m_System->thread.Reset(thread);
    }
    bool install = false;
    {
        const std::lock_guard guard(g_Stop.lock);
        g_Stop.live = true;
        g_Stop.wake = m_System->wake.Valid() ? m_System->wake.Get() : nullptr;
        g_Stop.thread = m_System->thread.Valid() ? m_System->thread.Get() : nullptr;
        g_Stop.signal = 0;
        g_Stop.taken = false;
        install = !g_Stop.installed;
        g_Stop.installed = true;
    }
    // Outside the lock: the system may be calling the handler, which takes it, while this registers.
    if (install && !::SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        const std::lock_guard guard(g_Stop.lock);
        g_Stop.installed = false; // without the handler, Ctrl+C still ends the run, as the system's default
    }
}

CStopSignals::~CStopSignals() {
    bool remove = false;
    {
        const std::lock_guard guard(g_Stop.lock);
        g_Stop.live = false;
        g_Stop.wake = nullptr; // closed with this object
        g_Stop.thread = nullptr;
        // As on POSIX, a run that was stopped keeps catching requests, so that another Ctrl+C does not
        // cut its clean-up short; it ends with the interrupted status anyway.
        remove = !m_Stopped && g_Stop.installed;
        if (remove) {
            g_Stop.installed = false;
        }
    }
    if (remove) {
        ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    }
}

bool CStopSignals::WaitFor(int timeoutMs) {
    if (m_Stopped) {
        return true;
    }
    const auto timeout = static_cast<DWORD>(std::max(timeoutMs, 0));
    if (m_System->wake.Valid()) {
        ::WaitForSingleObject(m_System->wake.Get(), timeout);
    } else {
        ::Sleep(timeout);
    }
    const std::lock_guard guard(g_Stop.lock);
    if (g_Stop.signal != 0) {
        g_Stop.taken = true;
        m_Stopped = true;
        m_Signal = g_Stop.signal;
    }
    return m_Stopped;
}

} // namespace brenwick::cli
