#pragma once

#include <windows.h>

namespace brenwick::cli {

// The console as the program leaves it. Its output is switched to UTF-8 text and, where the console has it
// (Windows 10 and later), to virtual terminal processing for the progress view; the console keeps both
// after the program ends, so every way out puts them back: main's return and each end the console's
// events force (win32/ConsoleOutput.cpp).
void SetUpConsoleOutput();
// Writes out what standard output still holds (into a file or a pipe it goes in full blocks) and puts the
// console's settings back. Safe from any thread and more than once.
void FinishConsoleOutput();
// Ends the process at once with status after FinishConsoleOutput, whose flush gets at most waitMs: a pipe
// that nobody reads must not keep the process alive.
[[noreturn]] void EndProcessNow(int status, DWORD waitMs);

// Catches the console's control events from now until the process ends (win32/StopSignalsWin32.cpp):
// a live CStopSignals takes the first Ctrl+C or Ctrl+Break as its stop request; any other ends the
// process. Closing the console waits for the program to finish, within the time the system allows.
void CatchConsoleEvents();

// main's console: set up for the run, with the console's events caught from the start so that one that
// ends the process early puts the console back too, and finished on the way out.
class CConsoleSession {
  public:
    CConsoleSession() {
        SetUpConsoleOutput();
        CatchConsoleEvents();
    }
    ~CConsoleSession() { FinishConsoleOutput(); }
    CConsoleSession(const CConsoleSession&) = delete;
    CConsoleSession& operator=(const CConsoleSession&) = delete;
};

// What the handler does with one console event, given whether a CStopSignals is live and whether a stop
// was asked for already.
struct ConsoleEventPlan {
    enum class Then {
        PassOn,         // not the program's: the next handler, the system's, deals with it
        WaitUntilTaken, // the run stops itself once it has seen the request
        EndNow,         // the process ends at once with the interrupted status
        HoldUntilEnd,   // the program ends by itself, or is ended just before the system would
    };
    bool askRun = false; // hand the request to the live run
    Then then = Then::PassOn;
    bool operator==(const ConsoleEventPlan&) const = default;
};
ConsoleEventPlan PlanForConsoleEvent(DWORD event, bool runLive, bool stopAsked);

} // namespace brenwick::cli
