#include "base/win32/Utf16.h"
#include "cli/Commands.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>
#include <windows.h>

namespace {

// The console shows the program's UTF-8 text as such, and follows the progress view's cursor movements
// where it can (Windows 10 and later). The console keeps both settings after the program ends, so they are
// put back as they were.
class CConsoleOutput {
  public:
    CConsoleOutput() : m_CodePage(::GetConsoleOutputCP()), m_Output(::GetStdHandle(STD_OUTPUT_HANDLE)) {
        if (m_CodePage != 0 && m_CodePage != CP_UTF8) { // 0: there is no console
            m_CodePageSet = ::SetConsoleOutputCP(CP_UTF8) != FALSE;
        }
        if (::GetConsoleMode(m_Output, &m_Mode) == 0) {
            // Not a console: the C runtime counts every character device as a terminal and writes to it
            // unbuffered, so a full device would fail in the middle of the output and its reason be lost by
            // the time the program checks. Buffered in full, as for a file, the final flush reports it.
            std::setvbuf(stdout, nullptr, _IOFBF, kOutputBuffer);
        } else if ((m_Mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
            m_ModeSet = ::SetConsoleMode(m_Output, m_Mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
        }
    }
    ~CConsoleOutput() {
        std::cout.flush();
        std::fflush(stdout);
        if (m_ModeSet) {
            ::SetConsoleMode(m_Output, m_Mode);
        }
        if (m_CodePageSet) {
            ::SetConsoleOutputCP(m_CodePage);
        }
    }
    CConsoleOutput(const CConsoleOutput&) = delete;
    CConsoleOutput& operator=(const CConsoleOutput&) = delete;

  private:
    static constexpr size_t kOutputBuffer = size_t{64} * 1024;
    UINT m_CodePage;
    HANDLE m_Output; // the process's standard output: not this object's to close
    DWORD m_Mode = 0;
    bool m_CodePageSet = false;
    bool m_ModeSet = false;
};

} // namespace

// The wide entry point (linked with -municode): the narrow argv is in the ANSI code page, which cannot hold
// every file name. The program's shared code takes UTF-8.
int wmain(int argc, wchar_t** argv) {
    const CConsoleOutput console;
    std::vector<std::string> args;
    args.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        args.push_back(brenwick::Narrow(argv[i]));
    }
    std::vector<char*> pointers;
    for (std::string& arg : args) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    return brenwick::cli::RunProgram(argc, pointers.data());
}
