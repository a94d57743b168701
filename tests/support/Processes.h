#pragma once

#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A brenwick-devsim program serving one simulated device on a pty, as a user would start it. It is stopped
// with SIGTERM when the object goes (so that its --flash-out file is complete).
class CDevsimProcess {
  public:
    explicit CDevsimProcess(std::vector<std::string> args);
    ~CDevsimProcess();
    CDevsimProcess(const CDevsimProcess&) = delete;
    CDevsimProcess& operator=(const CDevsimProcess&) = delete;

    // The pty path from the program's "PORT <path>" line; empty when it did not start.
    const std::string& Port() const { return m_Port; }

  private:
    pid_t m_Pid = -1;
    std::string m_Port;
};

// One run of the real brenwick-cli: standard output through a pipe (read as it comes), standard error
// into a file, standard input from /dev/null.
class CCliProcess {
  public:
    explicit CCliProcess(std::vector<std::string> args);
    ~CCliProcess();
    CCliProcess(const CCliProcess&) = delete;
    CCliProcess& operator=(const CCliProcess&) = delete;

    // Waits until standard output holds `text`; false when the program ended or timeoutMs passed first.
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

// Runs the CLI to its end: exit status, standard output, standard error.
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};
CliResult RunCli(std::vector<std::string> args);
