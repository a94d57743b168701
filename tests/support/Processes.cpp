#include "support/Processes.h"

#include "support/CliProgram.h"
#include "support/WaitUntil.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

CProcess::CProcess(const std::string& program, std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    for (const auto& [fd, name] : {std::pair{STDOUT_FILENO, "out"}, std::pair{STDERR_FILENO, "err"}}) {
        posix_spawn_file_actions_addopen(&actions, fd, m_Dir.Path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&m_Pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0) << "cannot start " << program;
    m_Pid = rc == 0 ? m_Pid : -1;
}

CProcess::~CProcess() {
    Signal(SIGKILL);
    Wait(10000);
}

std::string CProcess::Read(const std::string& name) const {
    const auto bytes = ReadFileBytes(m_Dir.Path(name));
    return {bytes.begin(), bytes.end()};
}

bool CProcess::WaitForOutput(const std::string& text, int timeoutMs) const {
    return brenwick::WaitUntil([&] { return Out().find(text) != std::string::npos; }, timeoutMs);
}

void CProcess::Signal(int sig) {
    if (m_Pid > 0) {
        ::kill(m_Pid, sig);
    }
}

int CProcess::Wait(int timeoutMs) {
    if (m_Pid <= 0) {
        return -1;
    }
    int status = 0;
    pid_t done = 0;
    if (!brenwick::WaitUntil([&] { return (done = ::waitpid(m_Pid, &status, WNOHANG)) != 0; }, timeoutMs)) {
        ADD_FAILURE() << "the program did not end and was killed";
        ::kill(m_Pid, SIGKILL);
        ::waitpid(m_Pid, &status, 0);
    }
    m_Pid = -1;
    if (done <= 0) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

CCliProcess::CCliProcess(std::vector<std::string> args) : CProcess(CliProgram(), std::move(args)) {}

CDevsimProcess::CDevsimProcess(std::vector<std::string> args)
    : CProcess(BRENWICK_DEVSIM_EXE, std::move(args)) {
    WaitForOutput("\n", 10000);
    const std::string line = Out().substr(0, Out().find('\n'));
    if (line.rfind("PORT ", 0) == 0) {
        m_Port = line.substr(5);
    }
    EXPECT_FALSE(m_Port.empty()) << "brenwick-devsim printed '" << line << "'";
}

CDevsimProcess::~CDevsimProcess() {
    Signal(SIGTERM);
    Wait(10000);
}

CliResult RunCli(std::vector<std::string> args) {
    CCliProcess run(std::move(args));
    const int status = run.Wait();
    return {status, run.Out(), run.Err()};
}
