#pragma once

#include <string>
#include <vector>

namespace brenwick::cli {

// Each command takes the arguments after its name and returns the process's exit status.
using CommandArgs = std::vector<std::string>;

int RunMakeBin(const CommandArgs& args);
int RunInspect(const CommandArgs& args);
int RunPorts(const CommandArgs& args);
int RunInfo(const CommandArgs& args);
int RunFlash(const CommandArgs& args);
int RunLog(const CommandArgs& args);

// The program itself, started by each system's entry point (posix/MainPosix.cpp, win32/MainWin32.cpp) with
// the arguments in UTF-8.
int RunProgram(int argc, char** argv);

} // namespace brenwick::cli
