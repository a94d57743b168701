// The real brenwick-cli stopped by a signal while a firmware input stalls, and started with its standard
// streams closed.
#include "support/CaseName.h"
#include "support/Processes.h"
#include "support/PtyPair.h"
#include "support/RunCommand.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct StopCase {
    const char* name;
    std::vector<std::string> args; // FIFO stands for the stalled input, OUT for the output file
    int signal;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
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
                      StopCase{"make_bin_sighup", {"make-bin", "FIFO", "--output", "OUT"}, SIGHUP}),
    CaseName<StopCase>);

// Started with standard output and error closed, the program would give their numbers to the port it
// opens; its messages must not reach the line.
TEST(ClosedStreams, NoTextReachesTheSerialLine) {
    PtyPair pty;
    // The parentheses keep the closing redirections in force over the ones RunCommand adds.
    auto run = std::async(std::launch::async, [&] {
        return RunCommand("(" + ShellQuote(BRENWICK_CLI_PATH) + " info --port " + pty.path +
                          " --timeout 0.5 >&- 2>&-)");
    });
    std::string line;
    while (run.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        line += pty.ReceiveAtDevice(50);
    }
    line += pty.ReceiveAtDevice(100);
    EXPECT_EQ(run.get().status, 5); // the line has no device on it
    EXPECT_EQ(line.find("brenwick-cli"), std::string::npos) << line;
    EXPECT_EQ(line.find("Not Connected"), std::string::npos) << line;
}

} // namespace
