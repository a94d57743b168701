#include "base/win32/UniqueHandle.h"
#include "cli/ExitCodes.h"
#include "cli/StopSignals.h"
#include "cli/win32/Console.h"

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
// The system ends the process about five seconds after a close event. The handler holds that long less
// the time its own end needs, so that the program can finish by itself (its exit ends the wait sooner).
constexpr DWORD kCloseHoldMs = 4000;
// What the process's own end gives standard output to take what is left.
constexpr DWORD kFlushWaitMs = 500;

// The console calls the handler on a thread of its own. What it reaches lives for the whole process (it
// needs no destruction), and the live CStopSignals's handles are lent under the lock, so that a late event
// never uses a closed one.
struct StopState {
    std::mutex lock;
    bool live = false;       // a CStopSignals exists
    HANDLE wake = nullptr;   // its event, or null
    HANDLE thread = nullptr; // its thread, or null
    int signal = 0;          // the first request since it was made; kept after it is gone
    bool taken = false;      // its WaitFor has seen the request
};
StopState g_Stop;

int SignalFor(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        return SIGINT;
    case CTRL_BREAK_EVENT:
        return SIGBREAK;
    default:
        return SIGTERM;
    }
}

// Waits until the live run has seen the request, and after a while cancels the read it may be stuck in.
// False when it has not within limitMs, or has ended without looking.
bool WaitUntilTaken(DWORD limitMs) {
    for (DWORD waited = 0;; waited += kStepMs) {
        {
            const std::lock_guard guard(g_Stop.lock);
            if (g_Stop.taken) {
                return true;
            }
            if (!g_Stop.live || waited >= limitMs) {
                return false;
            }
            if (waited >= kCancelAfterMs && g_Stop.thread != nullptr) {
                ::CancelSynchronousIo(g_Stop.thread);
            }
        }
        ::Sleep(kStepMs);
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    ConsoleEventPlan plan;
    {
        const std::lock_guard guard(g_Stop.lock);
        plan = PlanForConsoleEvent(event, g_Stop.live, g_Stop.signal != 0);
        if (plan.askRun) {
            g_Stop.signal = SignalFor(event);
            if (g_Stop.wake != nullptr) {
                ::SetEvent(g_Stop.wake);
            }
        }
    }
    switch (plan.then) {
    case ConsoleEventPlan::Then::PassOn:
        return FALSE;
    case ConsoleEventPlan::Then::WaitUntilTaken:
        if (WaitUntilTaken(kTakeLimitMs)) {
            return TRUE; // handled: the run ends itself, with the interrupted status
        }
        break;
    case ConsoleEventPlan::Then::EndNow:
        break;
    case ConsoleEventPlan::Then::HoldUntilEnd: {
        // Returning would let the system end the process at once, in the middle of the clean-up.
        const ULONGLONG start = ::GetTickCount64();
        WaitUntilTaken(kCloseHoldMs);
        const ULONGLONG spent = ::GetTickCount64() - start;
        if (spent < kCloseHoldMs) {
            ::Sleep(static_cast<DWORD>(kCloseHoldMs - spent));
        }
        break;
    }
    }
    EndProcessNow(kExitInterrupted, kFlushWaitMs);
}

} // namespace

ConsoleEventPlan PlanForConsoleEvent(DWORD event, bool runLive, bool stopAsked) {
    using Then = ConsoleEventPlan::Then;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // Once a stop was asked for, its clean-up may hang in a driver that never completes a cancelled
        // operation: another request ends the process, as does one with no run to stop.
        return runLive && !stopAsked ? ConsoleEventPlan{true, Then::WaitUntilTaken}
                                     : ConsoleEventPlan{false, Then::EndNow};
    case CTRL_CLOSE_EVENT:
        return {runLive && !stopAsked, Then::HoldUntilEnd};
    default:
        // Log-off and shut-down reach only programs a service started; interactive ones are just ended.
        return {false, Then::PassOn};
    }
}

void CatchConsoleEvents() {
    // Once for the process, and never taken back: a request after the run still needs the console restored.
    // Without the handler, Ctrl+C still ends the program, by the system's default.
    static const bool caught = ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != FALSE;
    static_cast<void>(caught);
}

CStopSignals::CStopSignals() : m_System(std::make_unique<SystemPart>().release()) {
    // Manual reset: once stopped, every later wait returns at once.
    m_System->wake.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE thread = nullptr;
    const HANDLE self = ::GetCurrentProcess();
    if (::DuplicateHandle(self, ::GetCurrentThread(), self, &thread, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        m_System->thread.Reset(thread);
    }
    {
        const std::lock_guard guard(g_Stop.lock);
        g_Stop.live = true;
        g_Stop.wake = m_System->wake.Valid() ? m_System->wake.Get() : nullptr;
        g_Stop.thread = m_System->thread.Valid() ? m_System->thread.Get() : nullptr;
        g_Stop.signal = 0;
        g_Stop.taken = false;
    }
    CatchConsoleEvents(); // main has done so already; this is for any other user of the class
}

CStopSignals::~CStopSignals() {
    // The handler stays: a later request ends the process at once, with the console restored.
    const std::lock_guard guard(g_Stop.lock);
    g_Stop.live = false;
    g_Stop.wake = nullptr; // closed with this object
    g_Stop.thread = nullptr;
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
