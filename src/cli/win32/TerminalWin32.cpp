#include "cli/Terminal.h"

#include <windows.h>

namespace brenwick::cli {

bool OutputIsTerminal() {
    DWORD mode = 0;
    // _isatty would also take NUL, a character device that is no terminal at all.
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
           (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) {
            return columns;
        }
    }
    return 80;
}

} // namespace brenwick::cli
