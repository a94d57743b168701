#include "base/win32/Utf16.h"
#include "cli/Commands.h"
#include "cli/win32/Console.h"

#include <string>
#include <vector>

// The wide entry point (linked with -municode): the narrow argv is in the ANSI code page, which cannot hold
// every file name. The program's shared code takes UTF-8.
int wmain(int argc, wchar_t** argv) {
    const brenwick::cli::CConsoleSession console;
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
