// brenwick-cli info and ports as a user runs them, against brenwick-devsim programs over ptys: what they
// print, as text and as JSON. How failed runs end is in ExitStatusCliTest.cpp.
#include "cli/CliText.h"
#include "support/CaseName.h"
#include "support/Processes.h"
#include "support/RunCommand.h"

#include <gtest/gtest.h>

using cli_text::Contains;

namespace {

struct InfoCase {
    const char* name;
    std::vector<std::string> deviceArgs;
    std::string expected; // the output after the port line
};

void PrintTo(const InfoCase& c, std::ostream* os) {
    *os << c.name;
}

class InfoShows : public ::testing::TestWithParam<InfoCase> {};

TEST_P(InfoShows, WhatTheDeviceReports) {
    const InfoCase& c = GetParam();
    CDevsimProcess device(c.deviceArgs);
    ASSERT_FALSE(device.Port().empty());
    const CliResult r = RunCli({"info", "--port", device.Port(), "--baud", "57600"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "port:           " + device.Port() + "\n" + c.expected);
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Cli, InfoShows,
                         ::testing::Values(InfoCase{"defaults",
                                                    {},
                                                    "state:          Connected\n"
                                                    "name:           Brenwick SIM\n"
                                                    "serial number:  SIM000001\n"
                                                    "boot revision:  1.2\n"
                                                    "flash revision: 1\n"
                                                    "product id:     5A FF A5 00\n"
                                                    "flash size:     262144 (0x40000)\n"
                                                    "page size:      256\n"
                                                    "boot length:    16384 (0x4000)\n"},
                                           InfoCase{"own_values",
                                                    {"--name", "Line 7 \x1b[31mred", "--serial", "B-0042",
                                                     "--boot-rev", "125", "--flash-rev", "1234",
                                                     "--product-id", "0102A5FE", "--flash-size", "0x20000",
                                                     "--page-size", "512", "--boot-length", "0x2000"},
                                                    "state:          Connected\n"
                                                    "name:           Line 7 ?[31mred\n"
                                                    "serial number:  B-0042\n"
                                                    "boot revision:  1.25\n"
                                                    "flash revision: 12.34\n"
                                                    "product id:     01 02 A5 FE\n"
                                                    "flash size:     131072 (0x20000)\n"
                                                    "page size:      512\n"
                                                    "boot length:    8192 (0x2000)\n"}),
                         CaseName<InfoCase>);

bool HaveJq() {
    return RunCommand("command -v jq").status == 0;
}

TEST(InfoCli, JsonIsOneValidObjectWithEveryField) {
    if (!HaveJq()) {
        GTEST_SKIP() << "jq is not installed";
    }
    CDevsimProcess device({"--name", "Quote \" and \\ back", "--serial", "S\t1", "--boot-rev", "125"});
    ASSERT_FALSE(device.Port().empty());
    CTempDir dir;
    const CommandResult r = RunCommand(ShellQuote(BRENWICK_CLI_PATH) + " info --json --port " +
                                       ShellQuote(device.Port()) + " > " + ShellQuote(dir.Path("out.json")));
    ASSERT_EQ(r.status, 0) << r.err;
    // jq, a parser no one here wrote, reads the fields back.
    const CommandResult check = RunCommand(
        "jq -e '.port == \"" + device.Port() +
        "\" and .state == \"Connected\" and .name == \"Quote \\\" and \\\\ back\" and .serial_number == "
        "\"S\\t1\" "
        "and .boot_revision == 1.25 and .flash_revision == 1 and .product_id == \"5A FF A5 00\" and "
        ".flash_size == 262144 and .page_size == 256 and .boot_length == 16384' " +
        ShellQuote(dir.Path("out.json")));
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST(InfoCli, OutputThatCannotBeWrittenEndsWithSix) {
    CDevsimProcess device({});
    ASSERT_FALSE(device.Port().empty());
    // The shell's own redirections come after the command line: the parentheses keep this one in force.
    const CommandResult r = RunCommand("(" + ShellQuote(BRENWICK_CLI_PATH) + " info --port " +
                                       ShellQuote(device.Port()) + " > /dev/full)");
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_TRUE(Contains(r.err, "cannot write the output: No space left on device")) << r.err;
}

TEST(PortsCli, ListsAndWritesValidJson) {
    const CommandResult text = RunCommand(ShellQuote(BRENWICK_CLI_PATH) + " ports");
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_FALSE(cli_text::HasControlCharacters(text.out)) << text.out;
    if (!HaveJq()) {
        GTEST_SKIP() << "jq is not installed";
    }
    // Whatever this machine has, the JSON is an array with one object per line of the text listing.
    const CommandResult json =
        RunCommand("(" + ShellQuote(BRENWICK_CLI_PATH) +
                   " ports --json | jq -e 'if type == \"array\" and all(.[]; (.path | type) == "
                   "\"string\" and (.usb | type) == \"boolean\") then length else false end')");
    ASSERT_EQ(json.status, 0) << json.out << json.err;
    EXPECT_EQ(json.out, std::to_string(cli_text::Lines(text.out).size()) + "\n") << json.out << text.out;
    EXPECT_EQ(RunCommand(ShellQuote(BRENWICK_CLI_PATH) + " ports --bogus").status, 2);
}

} // namespace
