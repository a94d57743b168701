#pragma once

namespace brenwick::cli {

// Whether standard output is a terminal that follows the progress view's cursor movements. On Windows that
// is a console with virtual terminal processing on, which the program's start switches on where the
// console has it (Windows 10 and later); any other output gets plain lines.
bool OutputIsTerminal();

// Standard output's width in columns; 80 when it cannot be told.
int TerminalColumns();

} // namespace brenwick::cli
