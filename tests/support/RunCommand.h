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
    const std::string out = dir.Path("out"), err = dir.Path("err");
    const int raw = std::system((commandLine + " > " + out + " 2> " + err + " < /dev/null").c_str());
    CommandResult r;
    if (WIFEXITED(raw)) {
        r.status = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        r.status = 128 + WTERMSIG(raw);
    }
    const auto o = ReadFileBytes(out), e = ReadFileBytes(err);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
}

// Quotes a word for the shell.
inline std::string ShellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}
