// The console's control events as the Windows build handles them: what the handler plans for each event
// and state, and what a program made of the same parts (console_child, with the program's console session
// and stop handling) does when the events come: Ctrl+C stops a run, a second one ends a clean-up that
// hangs, closing the console waits for the clean-up and ends one that hangs before the system would; on
// every way out standard output (a file, so buffered) holds all that was written and the console's code
// page and screen mode are as they were.
//
// The events are delivered as the system delivers them: a thread started in the child at kernelbase's
// CtrlRoutine, with the event as its argument. That reaches any event, the close included, where Wine's
// GenerateConsoleCtrlEvent sends only Ctrl+C; what it cannot show is the system ending the process once a
// close handler returns, so the handler's thread is checked to have ended with the process instead. (Wine
// writes out the C runtime's buffers when the main thread ends the process, which Windows does not; a
// handler's thread ending it shows whether the program wrote them out itself.)
#include "WindowsChild.h"
#include "cli/ExitCodes.h"
#include "cli/win32/Console.h"
#include "support/CaseName.h"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>

namespace {

using brenwick::UniqueHandle;
using namespace brenwick::cli;
using windows_child::CChild;
using windows_child::CPseudoConsole;

constexpr DWORD kStartLimitMs = 30000;
// A generous bound on a child that should end: the close's hold is four seconds.
constexpr DWORD kEndLimitMs = 30000;
// A clean-up that hangs outlives every bound of the test.
constexpr int kHungMs = 120000;

struct PlanCase {
    const char* name;
    DWORD event;
    bool live;
    bool asked;
    ConsoleEventPlan plan;
    friend void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }
};

class ConsoleEventPlanFor : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ConsoleEventPlanFor, EachEventAndState) {
    const PlanCase& c = GetParam();
    const ConsoleEventPlan plan = PlanForConsoleEvent(c.event, c.live, c.asked);
    EXPECT_EQ(plan.askRun, c.plan.askRun);
    EXPECT_EQ(static_cast<int>(plan.then), static_cast<int>(c.plan.then));
}

using Then = ConsoleEventPlan::Then;
INSTANTIATE_TEST_SUITE_P(
    Console, ConsoleEventPlanFor,
    ::testing::Values(
        PlanCase{"ctrl_c_stops_a_run", CTRL_C_EVENT, true, false, {true, Then::WaitUntilTaken}},
        PlanCase{"ctrl_break_stops_a_run", CTRL_BREAK_EVENT, true, false, {true, Then::WaitUntilTaken}},
        PlanCase{"second_ctrl_c_during_the_run", CTRL_C_EVENT, true, true, {false, Then::EndNow}},
        PlanCase{"second_ctrl_break_during_the_run", CTRL_BREAK_EVENT, true, true, {false, Then::EndNow}},
        PlanCase{"second_ctrl_c_after_the_run", CTRL_C_EVENT, false, true, {false, Then::EndNow}},
        PlanCase{"ctrl_c_without_a_run", CTRL_C_EVENT, false, false, {false, Then::EndNow}},
        PlanCase{"ctrl_break_without_a_run", CTRL_BREAK_EVENT, false, false, {false, Then::EndNow}},
        PlanCase{"close_stops_a_run_and_holds", CTRL_CLOSE_EVENT, true, false, {true, Then::HoldUntilEnd}},
        PlanCase{"close_while_a_run_stops", CTRL_CLOSE_EVENT, true, true, {false, Then::HoldUntilEnd}},
        PlanCase{"close_during_the_clean_up", CTRL_CLOSE_EVENT, false, true, {false, Then::HoldUntilEnd}},
        PlanCase{"close_without_a_run", CTRL_CLOSE_EVENT, false, false, {false, Then::HoldUntilEnd}},
        PlanCase{"log_off_is_the_systems", CTRL_LOGOFF_EVENT, true, false, {false, Then::PassOn}},
        PlanCase{"shut_down_is_the_systems", CTRL_SHUTDOWN_EVENT, false, true, {false, Then::PassOn}}),
    CaseName<PlanCase>);

std::filesystem::path Child() {
    return windows_child::NextToThisProgram(BRENWICK_CONSOLE_CHILD);
}

// The console's output code page and screen mode, as a program attached to it finds them.
std::string ConsoleState(const CPseudoConsole& console) {
    const CTempDir dir;
    const CChild probe(Child(), L"probe", dir, console.Get());
    const auto status = probe.Wait(kEndLimitMs);
    return status == 0u ? probe.Out() : "no probe: " + probe.Err();
}

// A named event of this test's own, which the child sets.
class CNamedEvent {
  public:
    CNamedEvent() {
        static std::atomic<int> count{0};
        m_Name = "brenwick-console-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                 std::to_string(count++);
        m_Event.Reset(::CreateEventA(nullptr, TRUE, FALSE, m_Name.c_str()));
    }
    const std::string& Name() const { return m_Name; }
    bool WaitSet(DWORD limitMs) const {
        return ::WaitForSingleObject(m_Event.Get(), limitMs) == WAIT_OBJECT_0;
    }

  private:
    std::string m_Name;
    UniqueHandle m_Event;
};

// Delivers event into the process as the system does; the thread that runs the handlers.
UniqueHandle Deliver(HANDLE process, DWORD event) {
    // The system's DLLs lie at the same address in every process; a wrong one would crash the child, and
    // its status would tell.
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    if (routine == nullptr) {
        return {};
    }
    return UniqueHandle(::CreateRemoteThread(
        process, nullptr, 0, routine, reinterpret_cast<void*>(static_cast<uintptr_t>(event)), 0, nullptr));
}

struct EventCase {
    const char* name;
    std::vector<DWORD> events; // the first once the run waits, each further one once it has stopped
    int cleanupMs;
    bool cleanupInside;    // the clean-up runs while the stop handling is live
    bool screenIsOutput;   // the standard output handle is the console's screen
    std::string stoppedBy; // the signal the run reports
    bool cleanedUp;        // the child ends by itself, having written its last line
    friend void PrintTo(const EventCase& c, std::ostream* os) { *os << c.name; }
};

class ConsoleEvents : public ::testing::TestWithParam<EventCase> {};

TEST_P(ConsoleEvents, EndTheRunWithItsOutputAndTheConsoleAsTheyWere) {
    const EventCase& c = GetParam();
    const CPseudoConsole console;
    ASSERT_NE(console.Get(), nullptr) << "no pseudo console";
    const std::string before = ConsoleState(console);
    ASSERT_EQ(before.rfind("cp=", 0), 0u) << before;

    const CTempDir dir;
    const CNamedEvent ready;
    const CNamedEvent stopped;
    const std::string args = "run " + ready.Name() + " " + stopped.Name() + " " +
                             std::to_string(c.cleanupMs) + (c.cleanupInside ? " inside" : " after") +
                             (c.screenIsOutput ? " console-output" : "");
    const CChild child(Child(), std::wstring(args.begin(), args.end()), dir, console.Get());
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(ready.WaitSet(kStartLimitMs)) << child.Err();
    UniqueHandle handler;
    for (size_t k = 0; k < c.events.size(); ++k) {
        if (k > 0) {
            ASSERT_TRUE(stopped.WaitSet(kStartLimitMs)) << child.Err();
        }
        handler = Deliver(child.Process(), c.events[k]);
        ASSERT_TRUE(handler.Valid());
    }

    const auto status = child.Wait(kEndLimitMs);
    ASSERT_TRUE(status.has_value()) << "still running: a request was swallowed or a hold never ended";
    EXPECT_EQ(*status, static_cast<DWORD>(kExitInterrupted)) << child.Err();
    const std::string written =
        "written with std::cout\nwritten with printf\nstopped by signal " + c.stoppedBy + "\n";
    EXPECT_EQ(child.Out(), written + (c.cleanedUp ? "cleaned up\n" : "")) << child.Err();
    EXPECT_EQ(ConsoleState(console), before);
    if (c.events.back() == CTRL_CLOSE_EVENT || c.events.size() > 1) {
        // A close handler that returned would have let the system end the process there and then; a second
        // request's handler that returned has swallowed it. Either handler must end with the process: its
        // thread then has the process's status, where a return leaves CtrlRoutine's own.
        ASSERT_EQ(::WaitForSingleObject(handler.Get(), kEndLimitMs), WAIT_OBJECT_0);
        DWORD handlerStatus = 0;
        ASSERT_TRUE(::GetExitCodeThread(handler.Get(), &handlerStatus));
        EXPECT_EQ(handlerStatus, *status);
    }
}

const std::string kSigInt = std::to_string(SIGINT);
const std::string kSigBreak = std::to_string(SIGBREAK);
const std::string kSigTerm = std::to_string(SIGTERM);

INSTANTIATE_TEST_SUITE_P(
    Console, ConsoleEvents,
    ::testing::Values(
        EventCase{"ctrl_c_stops_the_run", {CTRL_C_EVENT}, 100, true, false, kSigInt, true},
        EventCase{"ctrl_break_stops_the_run", {CTRL_BREAK_EVENT}, 100, true, false, kSigBreak, true},
        EventCase{"second_ctrl_c_ends_a_hung_clean_up",
                  {CTRL_C_EVENT, CTRL_C_EVENT},
                  kHungMs,
                  true,
                  false,
                  kSigInt,
                  false},
        EventCase{"ctrl_break_after_the_run_ends_a_hung_clean_up",
                  {CTRL_C_EVENT, CTRL_BREAK_EVENT},
                  kHungMs,
                  false,
                  false,
                  kSigInt,
                  false},
        EventCase{"close_waits_for_the_clean_up", {CTRL_CLOSE_EVENT}, 300, true, false, kSigTerm, true},
        EventCase{"close_after_the_run_waits_for_the_clean_up",
                  {CTRL_C_EVENT, CTRL_CLOSE_EVENT},
                  300,
                  false,
                  false,
                  kSigInt,
                  true},
        EventCase{"close_ends_a_hung_clean_up", {CTRL_CLOSE_EVENT}, kHungMs, true, false, kSigTerm, false},
        EventCase{"close_ends_a_hung_clean_up_on_the_screen",
                  {CTRL_CLOSE_EVENT},
                  kHungMs,
                  true,
                  true,
                  kSigTerm,
                  false}),
    CaseName<EventCase>);

} // namespace
