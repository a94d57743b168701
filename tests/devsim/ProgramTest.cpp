// The brenwick-devsim program as a user runs it: its first line, its link, its log, its signals and exit
// codes. What the device answers is in SimulatedDeviceTest.cpp; whole programming runs go through
// brenwick-cli in tests/cli.
#include "support/HostMessages.h"
#include "support/HostPort.h"
#include "support/Processes.h"
#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

TEST(DevsimProgram, ReplacesAStaleLinkServesAndLogsThroughItAndEndsCleanlyOnEachStopSignal) {
    for (const int sig : {SIGTERM, SIGINT}) {
        CTempDir dir;
        const fs::path link = dir.Path("link");
        fs::create_symlink("/nonexistent/tty", link);
        CDevsimProcess run({"-v", "--name", "Line Test", "--link", link.string()});
        ASSERT_FALSE(run.Port().empty());
        EXPECT_EQ(fs::read_symlink(link).string(), run.Port());

        CHostPort host(link.string()); // through the link, as a user would
        ASSERT_TRUE(host.IsOpen());
        EXPECT_EQ(host.Exchange(hostmsg::Request(0x0001)),
                  (Bytes{0x0E, 0x00, 0x01, 0x00, 'L', 'i', 'n', 'e', ' ', 'T', 'e', 's', 't', 0x00}));
        run.Signal(sig);
        EXPECT_EQ(run.Wait(), 0) << "signal " << sig;
        EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link is removed at exit";
        // -v logs every message in hex.
        EXPECT_NE(run.Err().find("<- 04 20 01 00\n-> 0e 00 01 00 4c 69 6e 65 20 54 65 73 74 00\n"),
                  std::string::npos)
            << run.Err();
    }
}

// The options that end the program at once: a bad one, --help and --version. The options themselves are read
// in DeviceLogicTest.cpp; here, what the program does with them.
TEST(DevsimProgram, BadOptionsHelpAndVersionEndAtOnce) {
    const struct {
        const char* arg;
        int status;
        std::string outStart; // standard output begins with this
        const char* errPart;
    } cases[] = {
        {"--baud", 2, "", "usage: brenwick-devsim"}, // and no port
        {"--help", 0, "usage: brenwick-devsim [options]\n", ""},
        {"--version", 0, "brenwick-devsim " BRENWICK_PROJECT_VERSION "\n", ""},
    };
    for (const auto& c : cases) {
        CProcess run(BRENWICK_DEVSIM_EXE, {c.arg});
        EXPECT_EQ(run.Wait(), c.status) << c.arg;
        EXPECT_EQ(run.Out().substr(0, c.outStart.size()), c.outStart) << c.arg;
        EXPECT_EQ(c.outStart.empty(), run.Out().empty()) << c.arg << ": " << run.Out();
        EXPECT_NE(run.Err().find(c.errPart), std::string::npos) << c.arg << ": " << run.Err();
    }
}

TEST(DevsimProgram, ExitsAfterHangingUpAndWritesItsFlash) {
    CTempDir dir;
    CDevsimProcess run(
        {"--hang-up-page", "2", "--flash-size", "0x8000", "--flash-out", dir.Path("flash.bin")});
    ASSERT_FALSE(run.Port().empty());
    CHostPort host(run.Port());
    const uint8_t id[4] = {0x5A, 0xFF, 0xA5, 0x00};
    ASSERT_EQ(host.Exchange(hostmsg::ProgramControl(hostmsg::kPrepare, id)), hostmsg::kEmptyAck);
    ASSERT_EQ(host.Exchange(hostmsg::ProgramControl(hostmsg::kBegin, id)), hostmsg::kEmptyAck);
    ASSERT_EQ(host.Exchange(hostmsg::DataItem(0x104000, Bytes(256, 0x42))), hostmsg::kPageAccepted);
    host.Write(hostmsg::DataItem(0x104100, Bytes(256, 0x43)));
    EXPECT_TRUE(host.SeesHangUp(3000));
    EXPECT_EQ(run.Wait(), 0); // no signal needed

    Bytes expected(0x8000, 0xFF);
    std::fill_n(expected.begin() + 0x4000, 256, 0x42); // the page it hung up on is not written
    EXPECT_TRUE(ReadFileBytes(dir.Path("flash.bin")) == expected);
}

// A board plugged in late and pulled out again: the link appears only after --plug-after, and the device goes
// away by itself (line closed, link removed, exit 0) --unplug-after later.
TEST(DevsimProgram, PlugsInLateAndUnplugsItselfAfterItsTime) {
    CTempDir dir;
    const fs::path link = dir.Path("board");
    CProcess run(BRENWICK_DEVSIM_EXE, {"--link", link.string(), "--plug-after", "2000", "--unplug-after", "3000"});
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "plugged in at once";
    ASSERT_TRUE(run.WaitForOutput("PORT ", 30000)) << run.Err();
    EXPECT_TRUE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(run.Wait(), 0) << run.Err();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link stays after the unplug";
}
