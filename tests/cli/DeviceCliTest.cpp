// brenwick-cli flash, info and ports against brenwick-devsim programs over ptys, run to the end: what ends
// up in the devices' flash, byte for byte, a device left in error, several devices at once, the output on
// a pipe and on a terminal, and what info and ports print as text and as JSON. How failed runs end, and
// signals, are in ExitStatusCliTest.cpp.
#include "cli/CliText.h"
#include "support/CaseName.h"
#include "support/CliProgram.h"
#include "support/Firmware.h"
#include "support/Processes.h"
#include "support/RunCommand.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

using cli_text::Contains;
using cli_text::HasControlCharacters;
using cli_text::Lines;

namespace {

const std::string kCli = ShellQuote(CliProgram());

// The "NN%" lines of one device, in the order printed, without the prefix, each followed by a space.
std::string Steps(const std::string& out, const std::string& prefix) {
    std::string steps;
    for (const auto& line : Lines(out)) {
        if (line.rfind(prefix, 0) == 0 && line.size() > prefix.size() && line.back() == '%') {
            steps += line.substr(prefix.size()) + " ";
        }
    }
    return steps;
}

const std::string kSteps = "0% 10% 20% 30% 40% 50% 60% 70% 80% 90% 100% ";

struct FamilyCase {
    const char* name;
    bool hex;
    uint32_t firstWord;
    size_t size;
    size_t pageSize;
    friend void PrintTo(const FamilyCase& c, std::ostream* os) { *os << c.name; }
};

class FlashFamilies : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(FlashFamilies, TheDeviceHoldsTheStampedImageAndAPipeGetsPlainLines) {
    const FamilyCase& c = GetParam();
    CTempDir dir;
    const auto app = firmware::Application(c.size, c.firstWord, firmware::InfoOffsetFor(c.firstWord));
    const auto file = firmware::Write(dir, c.hex ? "fw.hex" : "fw.bin", app, c.hex);
    const auto flashOut = dir.Path("flash.bin");
    CDevsimProcess device({"--flash-out", flashOut, "--page-size", std::to_string(c.pageSize)});
    ASSERT_FALSE(device.Port().empty());

    const CliResult r = RunCli({"flash", "--port", device.Port(), file});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");

    // The device's flash file against the flash worked out from the file, byte for byte.
    EXPECT_TRUE(ReadFileBytes(flashOut) ==
                firmware::ExpectedFlash(app, firmware::InfoOffsetFor(c.firstWord), 0x40000, c.pageSize));
    // A pipe gets each 10 % step once, in order, and no bar or control character.
    EXPECT_FALSE(HasControlCharacters(r.out)) << r.out;
    EXPECT_EQ(Steps(r.out, ""), kSteps) << r.out;
    const size_t pages = ((c.size + 3) / 4 * 4 + 4 + c.pageSize - 1) / c.pageSize; // the sum follows the data
    EXPECT_TRUE(Contains(r.out, "\nSent " + std::to_string(pages * c.pageSize) + " bytes in ")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Programming Brenwick SIM SN=SIM000001\n")) << r.out;
    EXPECT_EQ(Lines(r.out).at(Lines(r.out).size() - 2), "OK") << r.out;
}

INSTANTIATE_TEST_SUITE_P(Cli, FlashFamilies,
                         ::testing::Values(FamilyCase{"sam7_hex", true, firmware::kSam7Word, 0x1801, 256},
                                           FamilyCase{"sam7_bin", false, firmware::kSam7Word, 0x2345, 512},
                                           FamilyCase{"cortex_hex", true, firmware::kCortexWord, 0x1002, 128},
                                           FamilyCase{"cortex_bin", false, firmware::kCortexWord, 0x900,
                                                      256}),
                         CaseName<FamilyCase>);

TEST(FlashCli, ADeviceLeftInErrorAnswersInfoAndIsProgrammedAgain) {
    // A device whose boot area is half the usual size looks for the application at 0x2000 and finds erased
    // flash there: it reports an error after End, which is the device's verdict, exit 1. The file carries the
    // product ID where that device looks for it, so the host's own check passes. The device then stays in
    // error; info still shows it, and a second run goes ahead instead of waiting for a "Connected" that
    // never comes.
    CTempDir dir;
    std::vector<uint8_t> bytes(0x2000, 0xFF);
    firmware::PutWord(bytes, 0x50, 0x00A5FF5A);
    const auto app = firmware::Application(0x800, firmware::kSam7Word, 0);
    bytes.insert(bytes.end(), app.begin(), app.end());
    const auto file = dir.Write("fw.hex", hex_text::FileFor(0x102000, bytes));
    CDevsimProcess device({"--boot-length", "0x2000"});
    ASSERT_FALSE(device.Port().empty());
    const CliResult first = RunCli({"flash", "--port", device.Port(), file});
    EXPECT_EQ(first.status, 1) << first.out << first.err;
    EXPECT_TRUE(Contains(first.err, ": Programming Error: the device reported an error after programming"))
        << first.err;

    const CliResult info = RunCli({"info", "--port", device.Port()});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Contains(info.out, "state:          Programming Error\n")) << info.out;

    // The second run reports in JSON: one object, no progress lines, the device's result in it. The pages
    // run from the device's boot length 0x2000 to the byte sum behind 0x4800: 41 pages of 256 bytes.
    const CliResult second = RunCli({"flash", "--json", "--port", device.Port(), file});
    EXPECT_EQ(second.status, 1) << second.out << second.err;
    if (RunCommand("command -v jq").status != 0) {
        GTEST_SKIP() << "jq is not installed";
    }
    const CommandResult check = RunCommand(
        "jq -e '.exit_status == 1 and (.devices | length) == 1 and (.devices[0] | .port == \"" +
        device.Port() +
        "\" and .serial_number == \"SIM000001\" and .result == \"Programming Error\" and .exit_status == 1 "
        "and .bytes_sent == 10496 and (.message | contains(\"reported an error\")))' " +
        ShellQuote(dir.Write("result.json", second.out)));
    EXPECT_EQ(check.status, 0) << second.out << check.err;
}

TEST(FlashCli, EightDevicesAtOnceOneFailingTheOthersVerified) {
    constexpr int kDevices = 8;
    constexpr int kFailing = 5; // refuses its third page
    CTempDir dir;
    const auto app = firmware::Application(0x1400, firmware::kSam7Word, 0);
    const auto file = firmware::Write(dir, "fw.hex", app, true);
    std::vector<std::unique_ptr<CDevsimProcess>> devices;
    std::vector<std::string> args = {"flash"};
    for (int k = 0; k < kDevices; ++k) {
        devices.push_back(std::make_unique<CDevsimProcess>(
            cli_text::Words("--serial SN-" + std::to_string(k) + " --flash-out @flash" + std::to_string(k) +
                                ".bin" + (k == kFailing ? " --nak-page 3" : ""),
                            "", dir)));
        ASSERT_FALSE(devices.back()->Port().empty());
        args.insert(args.end(), {"--port", devices.back()->Port()});
    }
    args.push_back(file);
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_FALSE(HasControlCharacters(r.out)) << r.out;

    const auto lines = Lines(r.out);
    for (int k = 0; k < kDevices; ++k) {
        const std::string port = devices[static_cast<size_t>(k)]->Port();
        const std::string serial = "SN-" + std::to_string(k);
        // The summary row: port, serial number, result.
        const auto row = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(port + " ", 0) == 0 && Contains(line, serial);
        });
        ASSERT_NE(row, lines.end()) << "no summary row for " << port << "\n" << r.out;
        if (k == kFailing) {
            EXPECT_TRUE(Contains(*row, " Programming Error ")) << *row;
            EXPECT_TRUE(Contains(r.err, port + ": Programming Error")) << r.err;
            EXPECT_FALSE(std::filesystem::exists(dir.Path("flash" + std::to_string(k) + ".bin")));
            continue;
        }
        EXPECT_TRUE(Contains(*row, " OK ")) << *row;
        EXPECT_FALSE(Contains(r.err, port + ":")) << r.err;
        // Each device's own progress lines, labelled by its port.
        EXPECT_EQ(Steps(r.out, port + ": "), kSteps) << r.out;
        EXPECT_TRUE(ReadFileBytes(dir.Path("flash" + std::to_string(k) + ".bin")) ==
                    firmware::ExpectedFlash(app, 0, 0x40000, 256))
            << port;
    }
    EXPECT_TRUE(Contains(r.out, "to 8 devices in")) << r.out;
}

TEST(FlashCli, ATerminalShowsOneRedrawnBarPerDevice) {
    CTempDir dir;
    const auto file =
        firmware::Write(dir, "fw.bin", firmware::Application(0x3000, firmware::kCortexWord, 0x100), false);
    // Paced like a real line, so that the bars are drawn at several points of the run.
    CDevsimProcess first({"--baud", "230400"});
    CDevsimProcess second({"--baud", "230400", "--serial", "SECOND"});
    ASSERT_FALSE(first.Port().empty());
    ASSERT_FALSE(second.Port().empty());
    const std::string command =
        kCli + " flash --baud 230400 --port " + first.Port() + " --port " + second.Port() + " " + file;
    // script(1) runs the program on a pseudo-terminal of its own and copies what it wrote.
    const CommandResult r = RunCommand("script -qec " + ShellQuote(command) + " /dev/null");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "\x1b[2A")) << "the bars were never redrawn";

    // Each bar ends full; no plain progress line ("NN%" alone) is written to a terminal.
    for (const std::string& port : {first.Port(), second.Port()}) {
        EXPECT_TRUE(std::regex_search(r.out, std::regex(port + " +\\[#{24}\\] 100%.*  OK"))) << r.out;
    }
    EXPECT_FALSE(std::regex_search(r.out, std::regex("(^|\n)[0-9]+%\r?\n"))) << r.out;
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

    if (RunCommand("command -v jq").status != 0) {
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
    if (RunCommand("command -v jq").status != 0) {
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
