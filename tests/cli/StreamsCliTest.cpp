// The real brenwick-cli stopped while a firmware input stalls, and started with its standard streams closed.
#include "support/Processes.h"
#include "support/PtyPair.h"
#include "support/CaseName.h"
#include "support/HexText.h"
#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

struct StopCase {
    const char* name;
    std::vector<std::string> args; // FIFO stands for the stalled input
    int signal;
};
void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class StalledInput : public ::testing::TestWithParam<StopCase> {};

TEST_P(StalledInput, EndsAtOnceOnAStopSignal) {
    const StopCase& c = GetParam();
    CTempDir dir;
    const std::string fifo = dir.Path("stalled.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> args = c.args;
    for (auto& a : args) {
        a = a == "FIFO" ? fifo : a == "OUT" ? dir.Path("o.bin") : a;
    }
    CCliProcess cli(args);
    // A writer can open without waiting only once the program holds the read end; it stays silent.
    int writer = -1;
    for (int i = 0; i < 3000 && writer < 0; ++i) {
        writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ASSERT_GE(writer, 0) << "the program never opened its input";
    cli.Signal(c.signal);
    EXPECT_EQ(cli.Wait(), 130) << cli.Err();
    ::close(writer);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("o.bin")));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, StalledInput,
    ::testing::Values(StopCase{"inspect_sigint", {"inspect", "FIFO"}, SIGINT},
                      StopCase{"inspect_sigterm", {"inspect", "FIFO"}, SIGTERM},
                      StopCase{"make_bin_sighup", {"make-bin", "FIFO", "--output", "OUT"}, SIGHUP},
                      StopCase{"make_bin_sigterm", {"make-bin", "FIFO", "--output", "OUT"}, SIGTERM}),
    CaseName<StopCase>);

// Started with standard output and error closed, the program would give their numbers to the port it
// opens; its messages must not reach the line.
TEST(ClosedStreams, NoTextReachesTheSerialLine) {
    PtyPair pty;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, STDERR_FILENO);
    std::vector<std::string> args = {BRENWICK_CLI_PATH, "info", "--port", pty.path, "--timeout", "0.5"};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, BRENWICK_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    std::string line;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            FAIL() << "brenwick-cli did not end";
        }
        line += pty.ReceiveAtDevice(50);
    }
    line += pty.ReceiveAtDevice(100);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 5); // the line has no device on it
    EXPECT_EQ(line.find("brenwick-cli"), std::string::npos) << line;
    EXPECT_EQ(line.find("Not Connected"), std::string::npos) << line;
}

} // namespace
