// The real brenwick-cli as a process: stopped by a signal in the middle of a flash run or while its firmware
// input stalls, and started with its standard streams closed.
#include "cli/CliText.h"
#include "support/CaseName.h"
#include "support/Firmware.h"
#include "support/Processes.h"
#include "support/PtyPair.h"
#include "support/RunCommand.h"

#include <csignal>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using cli_text::Contains;

namespace {

struct SignalCase {
    const char* name;
    std::string device; // brenwick-devsim's options; "-" runs no device
    std::string args;   // brenwick-cli's words: PORT is the device's port, @stalled.hex a FIFO no one writes
    int signal;
    int blockedMs = 0; // how long to let the run go on before the signal, into a write that blocks
};

void PrintTo(const SignalCase& c, std::ostream* os) {
    *os << c.name;
}

class Signals : public ::testing::TestWithParam<SignalCase> {};

TEST_P(Signals, EndTheRunAtOnceWith130AndLetThePortGo) {
    const SignalCase& c = GetParam();
    CTempDir dir;
    firmware::Write(dir, "fw.bin", firmware::Application(0x4000, firmware::kSam7Word, 0), false);
    const std::string fifo = dir.Path("stalled.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::unique_ptr<CDevsimProcess> device;
    if (c.device != "-") {
        device = std::make_unique<CDevsimProcess>(cli_text::Words(c.device, "", dir));
        ASSERT_FALSE(device->Port().empty());
    }
    CCliProcess run(cli_text::Words(c.args, device ? device->Port() : "", dir));
    int writer = -1;
    if (device) {
        // The sequence pauses two seconds after Prepare: the signal comes in the middle of the run.
        ASSERT_TRUE(run.WaitForOutput("Programming Brenwick SIM", 10000)) << run.Out() << run.Err();
    } else {
        // A writer can open without waiting only once the program holds the read end; it stays silent.
        for (int i = 0; i < 3000 && writer < 0; ++i) {
            writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            std::this_thread::sleep_for(std::chrono::milliseconds(writer < 0 ? 10 : 0));
        }
        ASSERT_GE(writer, 0) << "the program never opened its input";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(c.blockedMs));
    run.Signal(c.signal);
    EXPECT_EQ(run.Wait(10000), 130) << run.Out() << run.Err();
    ::close(writer);
    EXPECT_FALSE(Contains(run.Out(), "100%")) << run.Out();
    EXPECT_FALSE(std::filesystem::exists(dir.Path("o.bin")));
    EXPECT_TRUE(!device || Contains(run.Err(), ": interrupted")) << run.Err();
    if (device && c.blockedMs == 0) {
        // The port was let go: the next program can open it at once.
        const CliResult info = RunCli({"info", "--port", device->Port()});
        EXPECT_EQ(info.status, 0) << info.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Signals,
    ::testing::Values(SignalCase{"flash_sigint", "", "flash --port PORT @fw.bin", SIGINT},
                      SignalCase{"flash_sigterm", "", "flash --port PORT @fw.bin", SIGTERM},
                      // At 1200 baud a blocked page's write would wait minutes: only the signal can end it.
                      SignalCase{"flash_sigint_with_a_write_blocked", "--stall-after-begin --page-size 8185",
                                 "flash --port PORT --baud 1200 @fw.bin", SIGINT, 2500},
                      SignalCase{"inspect_sigint", "-", "inspect @stalled.hex", SIGINT},
                      SignalCase{"inspect_sigterm", "-", "inspect @stalled.hex", SIGTERM},
                      SignalCase{"make_bin_sighup", "-", "make-bin @stalled.hex --output @o.bin", SIGHUP}),
    CaseName<SignalCase>);

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
