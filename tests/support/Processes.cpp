#include "support/Processes.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Waits for the process with a deadline; kills it when the deadline passes. Returns the exit status,
// 128 + signal, or -1 after a kill.
int Reap(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "process " << pid << " did not end and was killed";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

} // namespace

CProcess::CProcess(const std::string& program, std::vector<std::string> args) {
    static int runs = 0;
    m_ErrPath = (std::filesystem::temp_directory_path() /
                 ("brenwick-test-err-" + std::to_string(::getpid()) + "-" + std::to_string(++runs)))
                    .string();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
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
    ::close(fds[1]);
    m_OutFd = fds[0];
    m_Reader = std::thread([this] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_OutFd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            std::lock_guard lock(m_Lock);
            m_Out.append(buffer, static_cast<size_t>(n));
        }
    });
}

CProcess::~CProcess() {
    Signal(SIGKILL);
    Wait(10000);
    if (m_Reader.joinable()) {
        m_Reader.join();
    }
    if (m_OutFd >= 0) {
        ::close(m_OutFd);
    }
    std::filesystem::remove(m_ErrPath);
}

bool CProcess::WaitForOutput(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Out().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
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
    const int status = Reap(m_Pid, timeoutMs);
    m_Pid = -1;
    if (m_Reader.joinable()) {
        m_Reader.join(); // the pipe ends with the program
    }
    return status;
}

std::string CProcess::Out() {
    std::lock_guard lock(m_Lock);
    return m_Out;
}

std::string CProcess::Err() const {
    std::ifstream in(m_ErrPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CCliProcess::CCliProcess(std::vector<std::string> args) : CProcess(BRENWICK_CLI_PATH, std::move(args)) {}

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
