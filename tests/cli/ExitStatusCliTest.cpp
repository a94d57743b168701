// Every way a brenwick-cli run can end, as a user sees it: the exit status and the message, for each
// command, against brenwick-devsim programs over ptys (silent, refusing, hanging up, stalled, quiet after
// End), missing and busy ports, and firmware files that cannot be used; stopped by a signal in the middle
// of a flash run or while its firmware input stalls; and started with its standard streams closed.
#include "cli/CliText.h"
#include "support/CaseName.h"
#include "support/CliProgram.h"
#include "support/Firmware.h"
#include "support/Processes.h"
#include "support/PtyPair.h"
#include "support/RunCommand.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <regex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using cli_text::Contains;

namespace {

// A brenwick-devsim program with `options` and `more`, or none for "-".
std::unique_ptr<CDevsimProcess> StartDevice(const std::string& options, const std::string& more,
                                            const CTempDir& dir) {
    return options == "-" ? nullptr
                          : std::make_unique<CDevsimProcess>(cli_text::Words(options + more, "", dir));
}

struct ExitCase {
    const char* name;
    std::string device; // brenwick-devsim's options; "-" runs no device
    // brenwick-cli's words: PORT is the device's port (or a missing one), LOCKED the same port held by
    // another program, @name a file in the test's folder.
    std::string args;
    int status;
    std::string errPart;
    std::string outPart = "";
    bool reachesEnd = false; // the device takes End (and writes its flash file)
    friend void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }
};

class ExitStatus : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitStatus, AndMessage) {
    const ExitCase& c = GetParam();
    CTempDir dir;
    using firmware::Application;
    firmware::Write(dir, "good.bin", Application(0x1000, firmware::kSam7Word, 0), false);
    firmware::Write(dir, "good.hex", Application(0x100, firmware::kSam7Word, 0), true);
    firmware::Write(dir, "other.hex", Application(0x1000, firmware::kSam7Word, 0, {0x11, 0x22, 0x33, 0x44}),
                    true);
    dir.Write("unknown.bin", std::vector<uint8_t>(0x100, 0x11));
    dir.Write("large.bin", std::vector<uint8_t>(0x3C001, 0xE5));
    dir.Write("badsum.hex", hex_text::Sam7Start() + hex_text::Data(0x4010, {1, 2}, 1) + hex_text::End());
    dir.Write("outside.hex",
              hex_text::Sam7Start() + hex_text::Upper(0x0014) + hex_text::Data(0, {1}) + hex_text::End());
    const auto device = StartDevice(c.device, " --flash-out @flash.bin", dir);
    ASSERT_TRUE(!device || !device->Port().empty());
    const std::string port = device ? device->Port() : "/dev/brenwick-no-such-port";
    // For LOCKED, this test process stands for another program that holds the port.
    const int holder =
        Contains(c.args, "LOCKED") ? ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    ASSERT_TRUE(holder < 0 || ::flock(holder, LOCK_EX | LOCK_NB) == 0);
    const auto args = cli_text::Words(std::regex_replace(c.args, std::regex("LOCKED"), "PORT"), port, dir);
    const CliResult r = RunCli(args);
    ::close(holder);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, c.errPart)) << r.err;
    EXPECT_TRUE(Contains(r.out, c.outPart)) << r.out;
    EXPECT_FALSE(cli_text::HasControlCharacters(r.out)) << r.out;
    EXPECT_TRUE(r.status != 2 || Contains(r.err, "usage: brenwick-cli")) << r.err;
    EXPECT_FALSE(r.status != 0 && std::filesystem::exists(dir.Path("o.bin")))
        << "a failed export wrote a file";
    EXPECT_TRUE(r.status == 0 || c.args.rfind("info", 0) != 0 || r.out.empty()) << r.out;
    // The device writes its flash file at End (and when it exits): a run that failed before must not
    // have sent End. One that hangs up exits at its own time.
    EXPECT_TRUE(!device || Contains(c.device, "--hang-up-page") ||
                std::filesystem::exists(dir.Path("flash.bin")) == c.reachesEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ExitStatus,
    ::testing::Values(
        // flash against a device
        ExitCase{
            "firmware_for_another_product", "--product-id 5AFFA501", "flash --port PORT @good.bin", 7,
            "Invalid .hex file for this Product (the file is for product 5A FF A5 00, the device is 5A FF "
            "A5 01)"},
        ExitCase{"hex_for_another_product", "", "flash --port PORT @other.hex", 7,
                 "Invalid .hex file for this Product (the file is for product 11 22 33 44"},
        ExitCase{"refused_page", "--nak-page 2", "flash --port PORT @good.bin", 1,
                 ": Programming Error: page 2 refused by the device (result 1) after 512 bytes"},
        ExitCase{
            "device_hangs_up", "--hang-up-page 3", "flash --port PORT @good.bin", 1,
            ": Programming Error: the device went away (the line was hung up) at page 3 after 768 bytes"},
        ExitCase{"device_stops_reading", "--stall-after-begin --page-size 8185",
                 "flash --port PORT @good.bin", 1,
                 ": Programming Error: the line stopped taking bytes at page 1 after 8185 bytes"},
        ExitCase{"image_beyond_the_flash", "--flash-size 0x5000", "flash --port PORT @good.bin", 1,
                 "good.bin needs 20736 bytes of flash (boot area and image), but the device's flash holds "
                 "20480 bytes; nothing was sent"},
        ExitCase{"stamp_refused_for_the_device", "--boot-length 0x5000", "flash --port PORT @good.bin", 3,
                 "/good.bin: "},
        ExitCase{"verdict_after_a_quiet_spell", "--quiet-after-end 2000",
                 "flash --port PORT --timeout 5 @good.bin", 0, "", "OK\n", true},
        ExitCase{"no_verdict_within_the_timeout", "--quiet-after-end 4000",
                 "flash --port PORT --timeout 1 @good.bin", 5,
                 ": Not Connected: the device stopped answering after programming (no verdict within 1 s)",
                 "", true},
        ExitCase{"silent_device", "--silent", "flash --port PORT --timeout 1 @good.bin", 5,
                 ": Not Connected: the device did not answer within 1 s"},
        ExitCase{"no_flash_geometry", "--no-geometry", "flash --port PORT --timeout 1 @good.bin", 5,
                 ": Not Connected: the device answers but does not report its flash geometry (waited 1 s)"},
        ExitCase{"busy_port", "", "flash --port LOCKED @good.bin", 4,
                 ": COM Port Failed To Open: the port is in use by another program"},
        ExitCase{"unknown_family", "", "flash --port PORT @unknown.bin", 3, "unknown.bin: unknown family"},
        // flash before any device
        ExitCase{"missing_port", "-", "flash --port PORT @good.bin", 4,
                 "/dev/brenwick-no-such-port: COM Port Failed To Open: no such device"},
        ExitCase{"missing_file_before_any_port", "-", "flash --port PORT @missing.hex", 3,
                 "missing.hex: cannot open the file: No such file or directory"},
        ExitCase{"baud_not_in_the_table", "-", "flash --port PORT --baud 1000 @good.bin", 2,
                 "baud rate '1000' is not one of 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, "
                 "115200, 128000, 230400, 256000"},
        ExitCase{"port_twice", "-", "flash --port PORT --port PORT @good.bin", 2,
                 "port /dev/brenwick-no-such-port is given twice"},
        ExitCase{"bad_timeout", "-", "flash --port PORT --timeout 0 @good.bin", 2,
                 "time-out '0' must be a number of seconds above 0"},
        ExitCase{"flash_without_port", "-", "flash @good.bin", 2, "no --port given"},
        ExitCase{"flash_without_file", "-", "flash --port /dev/x", 2, "no firmware file given"},
        ExitCase{"port_without_value", "-", "flash --port", 2, "option --port needs a value"},
        ExitCase{"flash_two_files", "-", "flash --port /dev/x a.hex b.hex", 2, "unexpected argument 'b.hex'"},
        ExitCase{"info_missing_port", "-", "info --port PORT", 4,
                 "/dev/brenwick-no-such-port: COM Port Failed To Open: no such device: check the port name"},
        ExitCase{"info_not_a_serial_port", "-", "info --port /dev/null", 4,
                 "/dev/null: COM Port Failed To Open: "},
        ExitCase{"info_silent_device", "--silent", "info --port PORT --timeout 0.7", 5,
                 ": Not Connected: the device did not answer within 0.7 s"},
        ExitCase{"info_without_port", "-", "info", 2, "no --port given"},
        ExitCase{"info_two_ports", "-", "info --port PORT --port /dev/x", 2, "info takes one --port"},
        ExitCase{"info_stray_word", "-", "info --port PORT extra", 2, "unexpected argument 'extra'"},
        // the file commands and the program itself
        ExitCase{"version", "-", "--version", 0, "", "brenwick-cli " BRENWICK_PROJECT_VERSION "\n"},
        ExitCase{"no_command", "-", "", 2, "usage:"},
        ExitCase{"unknown_command", "-", "frobnicate", 2, "unknown command 'frobnicate'"},
        ExitCase{"make_bin_help", "-", "make-bin --help", 0, "", "usage: brenwick-cli make-bin"},
        ExitCase{"make_bin_without_file", "-", "make-bin", 2, "no firmware file given"},
        ExitCase{"make_bin_output_without_value", "-", "make-bin @good.hex --output", 2,
                 "--output needs a value"},
        ExitCase{"make_bin_unknown_option", "-", "make-bin @good.hex --fast", 2,
                 "unexpected argument '--fast'"},
        ExitCase{"make_bin_missing_file", "-", "make-bin @missing.hex --output @o.bin", 3,
                 "No such file or directory"},
        ExitCase{"make_bin_unwritable_output", "-", "make-bin @good.hex --output @no/such/dir/out.bin", 6,
                 "cannot write"},
        ExitCase{"make_bin_output_with_equals", "-", "make-bin @good.hex --output=@o.bin", 0, "", "Wrote "},
        ExitCase{"inspect", "-", "inspect @good.hex", 0, "",
                 "product id:    5A FF A5 00\nstamp for boot length 0x4000:\n  length word: 0x00004100 at "
                 "offset 0x0403C"},
        ExitCase{"inspect_bad_checksum", "-", "inspect @badsum.hex", 3, "bad checksum at line 3"},
        ExitCase{"inspect_outside_window", "-", "inspect @outside.hex", 3, "outside the window"},
        ExitCase{"inspect_unknown_family", "-", "inspect @unknown.bin", 3, "unknown family"},
        ExitCase{"inspect_too_large", "-", "inspect @large.bin", 3, "too large"},
        ExitCase{"inspect_two_files", "-", "inspect @good.hex @good.hex", 2, "unexpected argument"}),
    CaseName<ExitCase>);

struct SignalCase {
    const char* name;
    std::string device; // brenwick-devsim's options; "-" runs no device
    std::string args;   // brenwick-cli's words: PORT is the device's port, @stalled.hex a FIFO no one writes
    int signal;
    int blockedMs = 0; // how long to let the run go on before the signal, into a write that blocks
    friend void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }
};

class Signals : public ::testing::TestWithParam<SignalCase> {};

TEST_P(Signals, EndTheRunAtOnceWith130AndLetThePortGo) {
    const SignalCase& c = GetParam();
    CTempDir dir;
    firmware::Write(dir, "fw.bin", firmware::Application(0x4000, firmware::kSam7Word, 0), false);
    const std::string fifo = dir.Path("stalled.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto device = StartDevice(c.device, "", dir);
    ASSERT_TRUE(!device || !device->Port().empty());
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
                      SignalCase{"make_bin_sighup", "-", "make-bin @stalled.hex --output @o.bin", SIGHUP}),
    CaseName<SignalCase>);

// Started with standard output and error closed, the program would give their numbers to the port it
// opens; its messages must not reach the line.
TEST(ClosedStreams, NoTextReachesTheSerialLine) {
    PtyPair pty;
    // The parentheses keep the closing redirections in force over the ones RunCommand adds.
    auto run = std::async(std::launch::async, [&] {
        return RunCommand("(" + ShellQuote(CliProgram()) + " info --port " + pty.path +
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
