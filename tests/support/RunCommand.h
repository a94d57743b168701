#pragma once

#include "support/TempDir.h"

#include <cstdlib>
#include <string>
#include <sys/wait.h>

// Runs a shell command line and collects its exit status, standard output and standard error.
struct CommandResult {
    int status = -1; // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

inline CommandResult RunCommand(const std::string& commandLine) {
    CTempDir dir;
    const int raw = std::system(
        (commandLine + " > " + dir.Path("out") + " 2> " + dir.Path("err") + " < /dev/null").c_str());
    const auto out = ReadFileBytes(dir.Path("out")), err = ReadFileBytes(dir.Path("err"));
    return {WIFEXITED(raw)     ? WEXITSTATUS(raw)
            : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw)
                               : -1,
            {out.begin(), out.end()},
            {err.begin(), err.end()}};
}

// Quotes a word for the shell.
inline std::string ShellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}
