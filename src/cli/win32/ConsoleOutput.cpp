#include "base/win32/UniqueHandle.h"
#include "cli/win32/Console.h"

#include <atomic>
#include <cstdio>
#include <iostream>

namespace brenwick::cli {

namespace {

constexpr size_t kOutputBuffer = size_t{64} * 1024;

// Set once at the start, before any other thread exists; read by whichever thread ends the process.
struct ConsoleSettings {
    HANDLE output = nullptr; // the process's standard output: not the program's to close
    UINT codePage = 0;
    DWORD mode = 0;
    bool codePageSet = false;
    bool modeSet = false;
    std::atomic<bool> restored{false};
};
ConsoleSettings g_Console;

void FlushOutput() {
    std::cout.flush();
    std::fflush(stdout);
}

void RestoreConsole() {
    if (g_Console.restored.exchange(true)) {
        return;
    }
    if (g_Console.modeSet) {
        ::SetConsoleMode(g_Console.output, g_Console.mode);
    }
    if (g_Console.codePageSet) {
        ::SetConsoleOutputCP(g_Console.codePage);
    }
}

DWORD WINAPI FlushOnItsOwn(void*) {
    FlushOutput();
    return 0;
}

} // namespace

void SetUpConsoleOutput() {
    g_Console.output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    g_Console.codePage = ::GetConsoleOutputCP();
    if (g_Console.codePage != 0 && g_Console.codePage != CP_UTF8) { // 0: there is no console
        g_Console.codePageSet = ::SetConsoleOutputCP(CP_UTF8) != FALSE;
    }
    if (::GetConsoleMode(g_Console.output, &g_Console.mode) == 0) {
        // Not a console: the C runtime counts every character device as a terminal and writes to it
        // unbuffered, so a full device would fail in the middle of the output and its reason be lost by
        // the time the program checks. Buffered in full, as for a file, the final flush reports it.
        std::setvbuf(stdout, nullptr, _IOFBF, kOutputBuffer);
    } else if ((g_Console.mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
        g_Console.modeSet =
            ::SetConsoleMode(g_Console.output, g_Console.mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
    }
}

void FinishConsoleOutput() {
    FlushOutput(); // first: the progress view's last escape sequences still need the terminal mode
    RestoreConsole();
}

void EndProcessNow(int status, DWORD waitMs) {
    // Another thread may be stuck writing into a pipe that nobody reads, holding the stream's lock: the
    // flush runs on a thread of its own, which is given up on after waitMs.
    const UniqueHandle flusher(::CreateThread(nullptr, 0, FlushOnItsOwn, nullptr, 0, nullptr));
    if (flusher.Valid()) {
        ::WaitForSingleObject(flusher.Get(), waitMs);
    }
    RestoreConsole();
    // Not ExitProcess: that ends the other threads wherever they are and then runs the libraries' detach
    // code, which waits for ever for any lock one of them held.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
    ::ExitProcess(static_cast<UINT>(status)); // only if the process could not end itself
}

} // namespace brenwick::cli
