#include "base/win32/UniqueHandle.h"
#include "cli/StopSignals.h"

#include <algorithm>
#include <csignal>
#include <mutex>

namespace brenwick::cli {

struct CStopSignals::SystemPart {
    UniqueHandle wake; // set by the handler; WaitFor waits on it
};

void CStopSignals::SystemPartDelete::operator()(SystemPart* part) const {
    std::default_delete<SystemPart>()(part);
}

namespace {

// Once the handler returns from a close, log-off or shut-down event, Windows ends the process (about five
// seconds after a close at the latest). Holding the handler up to this long gives the run the time to stop
// and close its ports; the program's own exit ends the wait sooner.
constexpr DWORD kCloseGraceMs = 4500;

// The console calls the handler on a thread of its own. What it reaches lives for the whole process (it
// needs no destruction), and the live CStopSignals's event is handed over under the lock, so that a late
// event never sets a closed handle.
struct StopState {
    std::mutex lock;
    HANDLE wake = nullptr; // the live CStopSignals's event, or null
    int signal = 0;        // the first request since that object was made
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
    {
        const std::lock_guard guard(g_Stop.lock);
        if (g_Stop.signal == 0) {
            g_Stop.signal = signal;
        }
        if (g_Stop.wake != nullptr) {
            ::SetEvent(g_Stop.wake);
        }
    }
    if (signal == SIGTERM) {
        ::Sleep(kCloseGraceMs);
    }
    return TRUE; // handled: the run ends itself, with the interrupted status
}

} // namespace

CStopSignals::CStopSignals() : m_System(std::make_unique<SystemPart>().release()) {
    // Manual reset: once stopped, every later wait returns at once.
    m_System->wake.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool install = false;
    {
        const std::lock_guard guard(g_Stop.lock);
        g_Stop.wake = m_System->wake.Valid() ? m_System->wake.Get() : nullptr;
        g_Stop.signal = 0;
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
        g_Stop.wake = nullptr; // closed with this object
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
        m_Stopped = true;
        m_Signal = g_Stop.signal;
    }
    return m_Stopped;
}

} // namespace brenwick::cli
