// brenwick-cli info and ports as a user runs them, against brenwick-devsim programs over ptys: what they
// print, as text and as JSON. How failed runs end is in ExitStatusCliTest.cpp.
#include "cli/CliText.h"
#include "support/Processes.h"
#include "support/RunCommand.h"

#include <gtest/gtest.h>

using cli_text::Contains;

namespace {

const std::string kCli = ShellQuote(BRENWICK_CLI_PATH);

bool HaveJq() {
    return RunCommand("command -v jq").status == 0;
}

TEST(InfoCli, TextShowsWhatTheDeviceReportsJsonHasEveryFieldAndAFullOutputEndsWithSix) {
    CDevsimProcess device({"--name", "Line 7 \x1b[31mred \"q\" \\", "--serial", "S\t1", "--boot-rev", "125",
                           "--flash-rev", "1234", "--product-id", "0102A5FE", "--flash-size", "0x20000",
                           "--page-size", "512", "--boot-length", "0x2000"});
    ASSERT_FALSE(device.Port().empty());
    const CliResult r = RunCli({"info", "--port", device.Port(), "--baud", "57600"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "port:           " + device.Port() +
                         "\n"
                         "state:          Connected\n"
                         "name:           Line 7 ?[31mred \"q\" \\\n"
                         "serial number:  S?1\n"
                         "boot revision:  1.25\n"
                         "flash revision: 12.34\n"
                         "product id:     01 02 A5 FE\n"
                         "flash size:     131072 (0x20000)\n"
                         "page size:      512\n"
                         "boot length:    8192 (0x2000)\n");
    EXPECT_EQ(r.err, "");

    // The shell's own redirections come after the command line: the parentheses keep this one in force.
    const std::string info = kCli + " info --port " + ShellQuote(device.Port());
    const CommandResult full = RunCommand("(" + info + " > /dev/full)");
    EXPECT_EQ(full.status, 6) << full.err;
    EXPECT_TRUE(Contains(full.err, "cannot write the output: No space left on device")) << full.err;

    if (!HaveJq()) {
        GTEST_SKIP() << "jq is not installed";
    }
    // jq, a parser no one here wrote, reads the fields back.
    const CommandResult check =
        RunCommand("(" + info + " --json | jq -e '.port == \"" + device.Port() +
                   "\" and .state == \"Connected\" and .name == \"Line 7 \\u001b[31mred \\\"q\\\" \\\\\" and "
                   ".serial_number == \"S\\t1\" and .boot_revision == 1.25 and .flash_revision == 12.34 and "
                   ".product_id == \"01 02 A5 FE\" and .flash_size == 131072 and .page_size == 512 and "
                   ".boot_length == 8192')");
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST(PortsCli, ListsAndWritesValidJson) {
    const CommandResult text = RunCommand(kCli + " ports");
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_FALSE(cli_text::HasControlCharacters(text.out)) << text.out;
    EXPECT_EQ(RunCommand(kCli + " ports --bogus").status, 2);
    if (!HaveJq()) {
        GTEST_SKIP() << "jq is not installed";
    }
    // Whatever this machine has, the JSON is an array with one object per line of the text listing.
    const CommandResult json = RunCommand("(" + kCli +
                                          " ports --json | jq -e 'if type == \"array\" and all(.[]; (.path | "
                                          "type) == \"string\" and (.usb | type) == \"boolean\") then length "
                                          "else false end')");
    ASSERT_EQ(json.status, 0) << json.out << json.err;
    EXPECT_EQ(json.out, std::to_string(cli_text::Lines(text.out).size()) + "\n") << json.out << text.out;
}

} // namespace
