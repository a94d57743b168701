#pragma once

#include "support/TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

// One run of a program: standard output and error into files of its own, standard input from /dev/null. A
// program still running when the object goes is killed.
class CProcess {
  public:
    CProcess(const std::string& program, std::vector<std::string> args);
    ~CProcess();
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;

    // Waits until standard output holds `text`; false when timeoutMs passed first.
    bool WaitForOutput(const std::string& text, int timeoutMs) const;
    void Signal(int sig);
    // The exit status (128 + signal when killed); the program is killed after timeoutMs (a hang), giving -1.
    int Wait(int timeoutMs = 60000);
    std::string Out() const { return Read("out"); }
    std::string Err() const { return Read("err"); }

  private:
    std::string Read(const std::string& name) const;
    CTempDir m_Dir;
    pid_t m_Pid = -1;
};

// The real brenwick-cli (CliProgram()).
class CCliProcess : public CProcess {
  public:
    explicit CCliProcess(std::vector<std::string> args);
};

// A brenwick-devsim program serving one simulated device on a pty, as a user would start it. It is stopped
// with SIGTERM when the object goes (so that its --flash-out file is complete).
class CDevsimProcess : public CProcess {
  public:
    explicit CDevsimProcess(std::vector<std::string> args);
    ~CDevsimProcess();

    // The pty path from the program's "PORT <path>" line; empty when it did not start.
    const std::string& Port() const { return m_Port; }

  private:
    std::string m_Port;
};

// Runs the CLI to its end: exit status, standard output, standard error.
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};
CliResult RunCli(std::vector<std::string> args);
