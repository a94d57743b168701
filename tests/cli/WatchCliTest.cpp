// brenwick-cli flash --watch as a production bench uses it: simulated boards whose links come and go in a
// watched folder, each flashed byte for byte, the flash log's lines checked with jq and sha256sum.
#include "cli/CliText.h"
#include "support/CliProgram.h"
#include "support/Firmware.h"
#include "support/Processes.h"
#include "support/RunCommand.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

using cli_text::Contains;
using cli_text::Lines;

namespace {

constexpr int kLongWaitMs = 30000;

struct Bench {
    CTempDir dir;
    std::string boards = dir.Path("by-id");
    std::vector<uint8_t> app =
        firmware::Application(0x1801, firmware::kSam7Word, firmware::InfoOffsetFor(firmware::kSam7Word));
    std::string file = firmware::Write(dir, "fw.hex", app, true);
    std::string log = dir.Path("flash-log.jsonl");

    Bench() { std::filesystem::create_directory(boards); }

    std::vector<uint8_t> Expected() const {
        return firmware::ExpectedFlash(app, firmware::InfoOffsetFor(firmware::kSam7Word), 0x40000, 256);
    }
    // A board plugged in: a simulated device whose link appears in the watched folder.
    std::unique_ptr<CDevsimProcess> Plug(const std::string& name, const std::string& serial,
                                         std::vector<std::string> more = {}) const {
        std::vector<std::string> args = {"--link", boards + "/" + name, "--serial",
                                         serial,   "--flash-out",       dir.Path(serial + ".bin")};
        args.insert(args.end(), more.begin(), more.end());
        return std::make_unique<CDevsimProcess>(args);
    }
    std::unique_ptr<CCliProcess> Watch(std::vector<std::string> more = {}) const {
        std::vector<std::string> args = {"flash", "--watch", "--json", "--watch-dir", boards, "--log", log};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(file);
        return std::make_unique<CCliProcess>(args);
    }
    // jq over the log, true when the filter's result is true.
    bool LogHolds(const std::string& filter) const {
        return RunCommand("jq -e -s " + ShellQuote(filter) + " " + ShellQuote(log) + " >/dev/null").status ==
               0;
    }
};

std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

bool HaveJq() {
    return RunCommand("{ command -v jq && command -v sha256sum; }").status == 0;
}

TEST(WatchCli, BoardsOneAfterAnotherAndTogetherAreEachFlashedOnceAndLogged) {
    if (!HaveJq()) {
        GTEST_SKIP() << "jq or sha256sum is not installed";
    }
    Bench bench;
    // Another serial device on the bench: it does not match and must never be opened (a verbose device logs
    // every message it receives).
    auto modem = bench.Plug("usb-Other_Modem-if00", "MODEM", {"--verbose"});
    auto watch = bench.Watch({"--match", "*brenwick*"});
    {
        auto first = bench.Plug("usb-Brenwick_SIM_A-if00", "SIM-A");
        ASSERT_TRUE(watch->WaitForOutput("SIM-A\"", kLongWaitMs)) << watch->Out() << watch->Err();
        // Two at once.
        auto second = bench.Plug("usb-Brenwick_SIM_B-if00", "SIM-B");
        auto third = bench.Plug("usb-Brenwick_SIM_C-if00", "SIM-C");
        ASSERT_TRUE(watch->WaitForOutput("SIM-B\"", kLongWaitMs)) << watch->Out() << watch->Err();
        ASSERT_TRUE(watch->WaitForOutput("SIM-C\"", kLongWaitMs)) << watch->Out() << watch->Err();
    } // unplugged: their flash files are complete
    for (const char* serial : {"SIM-A", "SIM-B", "SIM-C"}) {
        EXPECT_TRUE(ReadFileBytes(bench.dir.Path(std::string(serial) + ".bin")) == bench.Expected())
            << serial;
    }
    {
        // The first board again: identified, left as it is (its fresh flash stays erased).
        auto again = bench.Plug("usb-Brenwick_SIM_A-if00", "SIM-A");
        ASSERT_TRUE(watch->WaitForOutput("Skipped", kLongWaitMs)) << watch->Out() << watch->Err();
    }
    EXPECT_TRUE(ReadFileBytes(bench.dir.Path("SIM-A.bin")) == std::vector<uint8_t>(0x40000, 0xFF));

    watch->Signal(SIGINT);
    EXPECT_EQ(watch->Wait(), 0) << watch->Out() << watch->Err();
    const std::vector<std::string> lines = Lines(watch->Out());
    ASSERT_EQ(lines.size(), 5u) << watch->Out();
    const std::string out = bench.dir.Write("out.jsonl", watch->Out());
    EXPECT_EQ(RunCommand("jq -e -s '([.[0:3][] | select(.passed and .result == \"OK\")] | length == 3) and "
                         ".[3].result == \"Skipped\" and .[3].serial_number == \"SIM-A\" and "
                         ".[4] == {passed: 3, failed: 0, skipped: 1, exit_status: 0}' " +
                         ShellQuote(out))
                  .status,
              0)
        << watch->Out();
    EXPECT_FALSE(Contains(modem->Err(), "<-")) << "the other device was opened:\n" << modem->Err();

    // One whole line per board flashed, with the firmware's real SHA-256.
    const std::string sha = RunCommand("sha256sum " + ShellQuote(bench.file)).out.substr(0, 64);
    EXPECT_TRUE(bench.LogHolds(
        "length == 3 and all(.[]; .passed and .sha256 == \"" + sha + "\" and .firmware == \"" + bench.file +
        "\" and .stamped_length > 0 and .bytes_sent > 0 and .device == \"Brenwick SIM\" "
        "and .product_id == \"5A FF A5 00\" and .boot_revision == \"1.2\") and "
        "([.[].serial_number] | sort) == [\"SIM-A\", \"SIM-B\", \"SIM-C\"]"))
        << sha << "\n"
        << Text(bench.log);
}

TEST(WatchCli, ABoardUnpluggedMidRunFailsAloneAndTheWatchEndsWithItsStatus) {
    if (!HaveJq()) {
        GTEST_SKIP() << "jq or sha256sum is not installed";
    }
    Bench bench;
    auto watch = bench.Watch();
    // One board goes away at its third page; the other, slowed down, is still being flashed meanwhile.
    auto pulled = bench.Plug("usb-Brenwick_SIM_X-if00", "SIM-X", {"--hang-up-page", "3"});
    auto good = bench.Plug("usb-Brenwick_SIM_Y-if00", "SIM-Y", {"--reply-delay", "5"});
    ASSERT_TRUE(watch->WaitForOutput("SIM-X\"", kLongWaitMs)) << watch->Out() << watch->Err();
    ASSERT_TRUE(watch->WaitForOutput("SIM-Y\"", kLongWaitMs)) << watch->Out() << watch->Err();
    good.reset();
    EXPECT_TRUE(ReadFileBytes(bench.dir.Path("SIM-Y.bin")) == bench.Expected());

    watch->Signal(SIGINT);
    const int status = watch->Wait();
    EXPECT_NE(status, 0) << watch->Out() << watch->Err();
    const std::string out = bench.dir.Write("out.jsonl", watch->Out());
    EXPECT_EQ(RunCommand("jq -e -s '(.[] | select(.serial_number == \"SIM-X\") | .passed == false) and "
                         "(.[] | select(.serial_number == \"SIM-Y\") | .passed) and "
                         ".[-1].passed == 1 and .[-1].failed == 1 and .[-1].exit_status == " +
                         std::to_string(status) + "' " + ShellQuote(out))
                  .status,
              0)
        << watch->Out();
    EXPECT_TRUE(bench.LogHolds("length == 2 and (.[] | select(.serial_number == \"SIM-X\") | "
                               ".passed == false and (.reason | length) > 0)"))
        << Text(bench.log);
}
} // namespace
