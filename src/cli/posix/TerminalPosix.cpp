#include "cli/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace brenwick::cli {

bool OutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

int TerminalColumns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

} // namespace brenwick::cli
