#pragma once

#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// One run of a program: standard output through a pipe (read as it comes), standard error into a file,
// standard input from /dev/null. A program still running when the object goes is killed.
class CProcess {
  public:
    CProcess(const std::string& program, std::vector<std::string> args);
    ~CProcess();
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;

    // Waits until standard output holds `text`; false when timeoutMs passed first.
    bool WaitForOutput(const std::string& text, int timeoutMs);
    void Signal(int sig);
    // The exit status (128 + signal when killed); the program is killed after timeoutMs (a hang), giving -1.
    int Wait(int timeoutMs = 60000);
    std::string Out();
    std::string Err() const;

  private:
    pid_t m_Pid = -1;
    int m_OutFd = -1;
    std::string m_ErrPath;
    std::string m_Out;
    std::thread m_Reader;
    std::mutex m_Lock; // m_Out, filled by the reader thread
};

// The real brenwick-cli.
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
