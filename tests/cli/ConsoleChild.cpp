// Stands for brenwick-cli in ConsoleEventsTest.cpp, where a run has to be stopped at a chosen moment and its
// clean-up may hang: the same console session and stop handling as the program, around a run the test
// steers through named events.
//   console_child run READY STOPPED CLEANUP_MS inside|after [console-output]
//       a run that waits for a stop request (READY is set once it does), writes what stopped it, sets
//       STOPPED and cleans up for CLEANUP_MS, while its CStopSignals is live (inside) or after (after);
//       console-output: the standard output handle is the console's screen, not the C stream's file
//   console_child probe          the console's output code page and screen mode, as "cp=N mode=M"
#include "base/win32/UniqueHandle.h"
#include "cli/ExitCodes.h"
#include "cli/StopSignals.h"
#include "cli/win32/Console.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <windows.h>

namespace {

using namespace brenwick::cli;

constexpr int kRunLimitSteps = 1200; // a minute of 50 ms waits: the child never outlives a failed test

void Signal(const char* name) {
    const brenwick::UniqueHandle event(::OpenEventA(EVENT_MODIFY_STATE, FALSE, name));
    if (event.Valid()) {
        ::SetEvent(event.Get());
    }
}

int Run(const char* ready, const char* stopped, DWORD cleanupMs, bool inside) {
    const CConsoleSession console;
    std::cout << "written with std::cout\n";
    std::printf("written with printf\n");
    {
        CStopSignals stop;
        Signal(ready);
        for (int step = 0; step < kRunLimitSteps && !stop.WaitFor(50); ++step) {
        }
        if (!stop.Stopped()) {
            return 99;
        }
        std::cout << "stopped by signal " << stop.Signal() << "\n";
        Signal(stopped);
        if (inside) {
            ::Sleep(cleanupMs);
        }
    }
    if (!inside) {
        ::Sleep(cleanupMs);
    }
    std::cout << "cleaned up\n";
    return kExitInterrupted;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "run" && argc >= 6) {
        if (argc > 6 && std::string(argv[6]) == "console-output") {
            // The handle stays open until the process ends: it is standard output now.
            ::SetStdHandle(STD_OUTPUT_HANDLE, ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                            OPEN_EXISTING, 0, nullptr));
        }
        return Run(argv[2], argv[3], static_cast<DWORD>(std::atoi(argv[4])),
                   std::string(argv[5]) == "inside");
    }
    if (mode == "probe") {
        const brenwick::UniqueHandle screen(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                          OPEN_EXISTING, 0, nullptr));
        DWORD screenMode = 0;
        if (!screen.Valid() || !::GetConsoleMode(screen.Get(), &screenMode)) {
            return 1;
        }
        std::printf("cp=%u mode=%lu\n", ::GetConsoleOutputCP(), screenMode);
        return 0;
    }
    std::fprintf(stderr, "usage: console_child run|probe ...\n");
    return 2;
}
