// brenwick-cli flash against brenwick-devsim programs over ptys: what ends up in the devices' flash, the exit
// statuses and messages a user reads, several devices at once, and the output on a pipe and on a terminal.
#include "cli/CliText.h"
#include "support/Firmware.h"
#include "support/Processes.h"
#include "support/CaseName.h"
#include "support/RunCommand.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using cli_text::Contains;
using cli_text::HasControlCharacters;
using cli_text::Lines;

namespace {

std::string StepLines(const std::string& prefix) {
    std::string text;
    for (int step = 0; step <= 100; step += 10) {
        text += prefix + std::to_string(step) + "%\n";
    }
    return text;
}

// The "NN%" lines of one device, in the order printed.
std::string ProgressLinesOf(const std::string& out, const std::string& prefix) {
    std::string text;
    for (const auto& line : Lines(out)) {
        if (line.rfind(prefix, 0) == 0 && !line.empty() && line.back() == '%') {
            text += line + "\n";
        }
    }
    return text;
}

struct FamilyCase {
    const char* name;
    bool hex;
    uint32_t firstWord;
    size_t size;
    size_t pageSize;
};

// Cases show by name in test listings.
void PrintTo(const FamilyCase& c, std::ostream* os) {
    *os << c.name;
}

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

    const auto expected =
        firmware::ExpectedFlash(app, firmware::InfoOffsetFor(c.firstWord), 0x40000, c.pageSize);
    const auto flash = ReadFileBytes(flashOut);
    ASSERT_EQ(flash.size(), expected.size());
    for (size_t o = 0; o < expected.size(); ++o) {
        ASSERT_EQ(flash[o], expected[o]) << "flash offset 0x" << std::hex << o;
    }

    // A pipe gets each 10 % step once, in order, and no bar or control character.
    EXPECT_FALSE(HasControlCharacters(r.out)) << r.out;
    EXPECT_EQ(ProgressLinesOf(r.out, ""), StepLines("")) << r.out;
    const size_t pages =
        (firmware::kBootLength + (c.size + 3) / 4 * 4 + 4 - firmware::kBootLength + c.pageSize - 1) /
        c.pageSize;
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

enum class PortKind { Device, Missing, Busy };
enum class FileKind { Good, OtherProduct, UnknownFamily, Missing };

struct FailureCase {
    const char* name;
    std::vector<std::string> deviceArgs;
    PortKind port;
    FileKind file;
    std::vector<std::string> extraArgs;
    int status;
    std::string errPart;
    bool reachesEnd = false; // the device takes End (and writes its flash file)
};

// Cases show by name in test listings.
void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FlashFailures, ExitStatusAndMessage) {
    const FailureCase& c = GetParam();
    CTempDir dir;
    std::string file;
    switch (c.file) {
    case FileKind::Good:
        file = firmware::Write(dir, "fw.bin", firmware::Application(0x1000, firmware::kSam7Word, 0), false);
        break;
    case FileKind::OtherProduct:
        file = firmware::Write(
            dir, "fw.hex", firmware::Application(0x1000, firmware::kSam7Word, 0, {0x11, 0x22, 0x33, 0x44}),
            true);
        break;
    case FileKind::UnknownFamily:
        file = firmware::Write(dir, "fw.bin", std::vector<uint8_t>(0x100, 0x11), false);
        break;
    case FileKind::Missing:
        file = dir.Path("no-such-file.hex");
        break;
    }
    const auto flashOut = dir.Path("flash.bin");
    std::vector<std::string> deviceArgs = c.deviceArgs;
    deviceArgs.insert(deviceArgs.end(), {"--flash-out", flashOut});
    std::unique_ptr<CDevsimProcess> device;
    std::string port = "/dev/brenwick-no-such-port";
    int holder = -1;
    if (c.port != PortKind::Missing) {
        device = std::make_unique<CDevsimProcess>(deviceArgs);
        ASSERT_FALSE(device->Port().empty());
        port = device->Port();
    }
    if (c.port == PortKind::Busy) {
        // This test process stands for another program that holds the port.
        holder = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    std::vector<std::string> args = {"flash", "--port", port};
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    args.push_back(file);
    const CliResult r = RunCli(args);
    if (holder >= 0) {
        ::close(holder);
    }
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, c.errPart)) << r.err;
    EXPECT_FALSE(HasControlCharacters(r.out)) << r.out;
    // The device writes its flash out at End (and when it exits): none of these runs got that far.
    const bool deviceExited =
        std::find(c.deviceArgs.begin(), c.deviceArgs.end(), "--hang-up-page") != c.deviceArgs.end();
    if (!deviceExited) {
        EXPECT_EQ(std::filesystem::exists(flashOut), c.reachesEnd);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, FlashFailures,
    ::testing::Values(
        FailureCase{"firmware_for_another_product",
                    {"--product-id", "5AFFA501"},
                    PortKind::Device,
                    FileKind::Good,
                    {},
                    7,
                    "Invalid .hex file for this Product (the file is for product 5A FF A5 00, the device is "
                    "5A FF A5 01)"},
        FailureCase{"hex_for_another_product",
                    {},
                    PortKind::Device,
                    FileKind::OtherProduct,
                    {},
                    7,
                    "Invalid .hex file for this Product (the file is for product 11 22 33 44"},
        FailureCase{"refused_page",
                    {"--nak-page", "2"},
                    PortKind::Device,
                    FileKind::Good,
                    {},
                    1,
                    ": Programming Error: the device did not accept a message after 512 bytes"},
        FailureCase{"device_hangs_up",
                    {"--hang-up-page", "3"},
                    PortKind::Device,
                    FileKind::Good,
                    {},
                    1,
                    ": Programming Error: the device went away (the line was hung up) after 768 bytes"},
        FailureCase{"device_stops_reading",
                    {"--stall-after-begin", "--page-size", "8185"},
                    PortKind::Device,
                    FileKind::Good,
                    {},
                    1,
                    ": Programming Error: the device did not accept a message after 8185 bytes"},
        FailureCase{"image_beyond_the_flash",
                    {"--flash-size", "0x5000"},
                    PortKind::Device,
                    FileKind::Good,
                    {},
                    1,
                    "fw.bin needs 20736 bytes of flash (boot area and image), but the device's flash holds "
                    "20480 bytes; nothing was sent"},
        FailureCase{"stamp_refused_for_the_device",
                    {"--boot-length", "0x5000"},
                    PortKind::Device,
                    FileKind::Good,
                    {},
                    3,
                    "/fw.bin: "},
        FailureCase{"verdict_after_a_quiet_spell",
                    {"--quiet-after-end", "2000"},
                    PortKind::Device,
                    FileKind::Good,
                    {"--timeout", "5"},
                    0,
                    "",
                    true},
        FailureCase{"no_verdict_within_the_timeout",
                    {"--quiet-after-end", "4000"},
                    PortKind::Device,
                    FileKind::Good,
                    {"--timeout", "1"},
                    5,
                    ": Not Connected: the device stopped answering after programming (no verdict within 1 s)",
                    true},
        FailureCase{"silent_device",
                    {"--silent"},
                    PortKind::Device,
                    FileKind::Good,
                    {"--timeout", "1"},
                    5,
                    ": Not Connected: the device did not answer within 1 s"},
        FailureCase{"missing_port",
                    {},
                    PortKind::Missing,
                    FileKind::Good,
                    {},
                    4,
                    "/dev/brenwick-no-such-port: COM Port Failed To Open: no such device"},
        FailureCase{"busy_port",
                    {},
                    PortKind::Busy,
                    FileKind::Good,
                    {},
                    4,
                    ": COM Port Failed To Open: the port is in use by another program"},
        FailureCase{"missing_file_before_any_port",
                    {},
                    PortKind::Missing,
                    FileKind::Missing,
                    {},
                    3,
                    "no-such-file.hex: cannot open the file: No such file or directory"},
        FailureCase{
            "unknown_family", {}, PortKind::Device, FileKind::UnknownFamily, {}, 3, "fw.bin: unknown family"},
        FailureCase{
            "baud_not_in_the_table",
            {},
            PortKind::Missing,
            FileKind::Good,
            {"--baud", "1000"},
            2,
            "baud rate '1000' is not one of 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, "
            "115200, 128000, 230400, 256000"},
        FailureCase{"port_twice",
                    {},
                    PortKind::Missing,
                    FileKind::Good,
                    {"--port", "/dev/brenwick-no-such-port"},
                    2,
                    "port /dev/brenwick-no-such-port is given twice"},
        FailureCase{"bad_timeout",
                    {},
                    PortKind::Missing,
                    FileKind::Good,
                    {"--timeout", "0"},
                    2,
                    "time-out '0' must be a number of seconds above 0"}),
    CaseName<FailureCase>);

TEST(FlashCli, UsageErrors) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"flash", "fw.hex"}, "no --port given"},
        {{"flash", "--port", "/dev/x"}, "no firmware file given"},
        {{"flash", "--port"}, "option --port needs a value"},
        {{"flash", "--port", "/dev/x", "a.hex", "b.hex"}, "unexpected argument 'b.hex'"},
        {{"flash", "--port", "/dev/x", "--speed", "9600", "a.hex"}, "unexpected argument '--speed'"},
    };
    for (const auto& [args, message] : cases) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_TRUE(Contains(r.err, message)) << r.err;
        EXPECT_TRUE(Contains(r.err, "usage: brenwick-cli flash")) << r.err;
    }
}

TEST(FlashCli, ADeviceLeftInErrorAnswersInfoAndIsProgrammedAgain) {
    // A device whose boot area is half the usual size looks for the application at 0x2000 and finds erased
    // flash there: it reports an error after End, which is the device's verdict, exit 1. The file carries the
    // product ID where that device looks for it, so the host's own check passes. The device then stays in
    // error; info still shows it, and a second run goes ahead instead of waiting for a "Connected" that
    // never comes.
    CTempDir dir;
    std::vector<uint8_t> bytes(0x2000, 0xFF);
    const std::vector<uint8_t> id = {0x5A, 0xFF, 0xA5, 0x00};
    std::copy(id.begin(), id.end(), bytes.begin() + 0x50);
    const auto app = firmware::Application(0x800, firmware::kSam7Word, 0);
    bytes.insert(bytes.end(), app.begin(), app.end());
    const auto file = dir.Write("fw.hex", hex_text::FileFor(0x102000, bytes));
    CDevsimProcess device({"--boot-length", "0x2000"});
    ASSERT_FALSE(device.Port().empty());
    const CliResult first = RunCli({"flash", "--port", device.Port(), file});
    EXPECT_EQ(first.status, 1) << first.out << first.err;
    EXPECT_TRUE(Contains(first.err, ": Programming Error: the device reported an error after programming"))
        << first.err;
    EXPECT_TRUE(Contains(first.out, "100%\n")) << first.out;

    const CliResult info = RunCli({"info", "--port", device.Port()});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Contains(info.out, "state:          Programming Error\n")) << info.out;

    // The second run reports in JSON: one object, no progress lines, the device's result in it. The pages
    // run from the device's boot length 0x2000 to the byte sum behind 0x4800: 41 pages of 256 bytes.
    const CliResult second = RunCli({"flash", "--json", "--port", device.Port(), file});
    EXPECT_EQ(second.status, 1) << second.out << second.err;
    EXPECT_FALSE(Contains(second.out, "%")) << second.out;
    if (RunCommand("command -v jq").status != 0) {
        GTEST_SKIP() << "jq is not installed";
    }
    const std::string json = dir.Write("result.json", second.out);
    const CommandResult check = RunCommand(
        "jq -e '.exit_status == 1 and (.devices | length) == 1 and .devices[0].port == \"" + device.Port() +
        "\" and .devices[0].serial_number == \"SIM000001\" and .devices[0].result == \"Programming Error\" "
        "and "
        ".devices[0].exit_status == 1 and .devices[0].bytes_sent == 10496 and (.devices[0].message | "
        "contains(\"reported an error\"))' " +
        ShellQuote(json));
    EXPECT_EQ(check.status, 0) << second.out << check.err;
}

struct InterruptCase {
    const char* name;
    int signal;
    bool stalledLine; // the device stops taking bytes after Begin, and a page's write blocks
};

void PrintTo(const InterruptCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashInterrupt : public ::testing::TestWithParam<InterruptCase> {};

TEST_P(FlashInterrupt, StopsTheRunClosesThePortAndSaysSo) {
    const InterruptCase& c = GetParam();
    CTempDir dir;
    const auto file =
        firmware::Write(dir, "fw.bin", firmware::Application(0x4000, firmware::kSam7Word, 0), false);
    CDevsimProcess device(c.stalledLine
                              ? std::vector<std::string>{"--stall-after-begin", "--page-size", "8185"}
                              : std::vector<std::string>{});
    ASSERT_FALSE(device.Port().empty());
    // At 1200 baud a blocked page's write would wait minutes: only the signal can end it in time.
    CCliProcess run({"flash", "--port", device.Port(), "--baud", c.stalledLine ? "1200" : "115200", file});
    // The sequence pauses two seconds after Prepare: the signal comes in the middle of the run.
    ASSERT_TRUE(run.WaitForOutput("Programming Brenwick SIM", 10000)) << run.Out() << run.Err();
    if (c.stalledLine) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500)); // past the pause, into the write
    }
    run.Signal(c.signal);
    EXPECT_EQ(run.Wait(10000), 130) << run.Out() << run.Err();
    EXPECT_TRUE(Contains(run.Err(), ": interrupted")) << run.Err();
    EXPECT_FALSE(Contains(run.Out(), "100%")) << run.Out();
    if (!c.stalledLine) {
        // The port was let go: the next program can open it at once.
        const CliResult info = RunCli({"info", "--port", device.Port()});
        EXPECT_EQ(info.status, 0) << info.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Cli, FlashInterrupt,
                         ::testing::Values(InterruptCase{"SIGINT", SIGINT, false},
                                           InterruptCase{"SIGTERM", SIGTERM, false},
                                           InterruptCase{"SIGINT_with_a_write_blocked", SIGINT, true}),
                         CaseName<InterruptCase>);

TEST(FlashCli, EightDevicesAtOnceOneFailingTheOthersVerified) {
    constexpr int kDevices = 8;
    constexpr int kFailing = 5; // refuses its third page
    CTempDir dir;
    const auto app = firmware::Application(0x1400, firmware::kSam7Word, 0);
    const auto file = firmware::Write(dir, "fw.hex", app, true);
    std::vector<std::unique_ptr<CDevsimProcess>> devices;
    std::vector<std::string> args = {"flash"};
    for (int k = 0; k < kDevices; ++k) {
        std::vector<std::string> deviceArgs = {"--serial", "SN-" + std::to_string(k), "--flash-out",
                                               dir.Path("flash" + std::to_string(k) + ".bin")};
        if (k == kFailing) {
            deviceArgs.insert(deviceArgs.end(), {"--nak-page", "3"});
        }
        devices.push_back(std::make_unique<CDevsimProcess>(deviceArgs));
        ASSERT_FALSE(devices.back()->Port().empty());
        args.insert(args.end(), {"--port", devices.back()->Port()});
    }
    args.push_back(file);
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_FALSE(HasControlCharacters(r.out)) << r.out;

    const auto expected = firmware::ExpectedFlash(app, 0, 0x40000, 256);
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
        EXPECT_EQ(ProgressLinesOf(r.out, port + ": "), StepLines(port + ": ")) << r.out;
        EXPECT_EQ(ReadFileBytes(dir.Path("flash" + std::to_string(k) + ".bin")), expected) << "device " << k;
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
    const std::string command = std::string(BRENWICK_CLI_PATH) + " flash --baud 230400 --port " +
                                first.Port() + " --port " + second.Port() + " " + file;
    // script(1) runs the program on a pseudo-terminal of its own and copies what it wrote.
    const CommandResult r = RunCommand("script -qec " + ShellQuote(command) + " /dev/null");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "\x1b[2A")) << "the bars were never redrawn";

    const auto screen = cli_text::Screen(r.out);
    for (const std::string& port : {first.Port(), second.Port()}) {
        int bars = 0;
        for (const auto& line : screen) {
            if (line.rfind(port, 0) == 0 && Contains(line, "[")) {
                ++bars;
                EXPECT_TRUE(Contains(line, "[########################] 100%")) << line;
                EXPECT_TRUE(Contains(line, "  OK")) << line;
            }
        }
        EXPECT_EQ(bars, 1) << port << " has " << bars << " bar lines:\n" << r.out;
    }
    for (const auto& line : screen) {
        EXPECT_FALSE(line.size() > 1 && line.back() == '%' && line.find('[') == std::string::npos)
            << "a plain progress line on a terminal: " << line;
    }
}

} // namespace
