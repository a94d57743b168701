// The real brenwick-cli against outputs and inputs that are not plain files: devices, FIFOs, links, pipes.
// Device nodes are made inside the test's own folder (root only), never the system's.
#include "support/CaseName.h"
#include "support/HexText.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const std::string kCli = ShellQuote(BRENWICK_CLI_PATH);
// Catches a hang without timing anything: a run that should take milliseconds is killed after a minute.
const std::string kBounded = "timeout -s KILL 60 " + kCli;

std::vector<uint8_t> Sam7App(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 29 + 7);
    }
    const uint8_t word[] = {0x18, 0xF0, 0x9F, 0xE5};
    std::copy(std::begin(word), std::end(word), bytes.begin());
    return bytes;
}

struct TargetCase {
    const char* name;
    bool needsRoot;     // the case makes device nodes
    std::string setup;  // shell commands run in the test folder first, in the same shell as the program
    std::string output; // --output, relative to the folder
    int status;
    std::string stderrPart;
    std::string check; // shell test run in the folder afterwards; must succeed
};
void PrintTo(const TargetCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class OutputTargets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(OutputTargets, AreWrittenWithoutHarm) {
    const TargetCase& c = GetParam();
    if (c.needsRoot && ::geteuid() != 0) {
        GTEST_SKIP() << "making device nodes needs root";
    }
    CTempDir dir;
    dir.Write("fw.hex", hex_text::FileFor(0x104000, Sam7App(0x100))); // exports 0x104 = 260 bytes
    const std::string cd = "cd " + ShellQuote(dir.Root().string()) + " && ";
    // The program's status is the command's; "took" keeps what a FIFO reader got before the shell ends.
    const CommandResult r =
        RunCommand(cd + c.setup + " && { " + kBounded + " make-bin fw.hex --output " + c.output +
                   "; s=$?; [ ! -p pipe ] || timeout 10 head -c 260 <&3 > took; exit $s; }");
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE(r.err.find(c.stderrPart), std::string::npos) << r.err;
    const CommandResult check = RunCommand(cd + c.check);
    EXPECT_EQ(check.status, 0) << c.check << "\n" << RunCommand(cd + "ls -la . sub 2>&1").out;
}

INSTANTIATE_TEST_SUITE_P(
    MakeBin, OutputTargets,
    ::testing::Values(
        TargetCase{"null_device", true, "mknod null c 1 3", "null", 0, "",
                   "test -c null && [ \"$(stat -c %t,%T null)\" = 1,3 ]"},
        TargetCase{"full_device", true, "mknod full c 1 7", "full", 6,
                   "cannot write full: No space left on device",
                   "test -c full && [ \"$(stat -c %t,%T full)\" = 1,7 ]"},
        TargetCase{"fifo_without_reader", false, "mkfifo pipe && exec 3</dev/null", "pipe", 6,
                   "no program is reading the FIFO", "test -p pipe"},
        // The shell holds the FIFO open for reading (read-write never waits) while the program writes.
        TargetCase{"fifo_with_reader", false, "mkfifo pipe && exec 3<>pipe", "pipe", 0, "",
                   "test -p pipe && [ \"$(stat -c %s took)\" = 260 ]"},
        TargetCase{"relative_link_chain", false,
                   "mkdir sub && echo old > sub/t.bin && ln -s sub/t.bin a1 && ln -s a1 a2", "a2", 0, "",
                   "test -L a1 && test -L a2 && [ \"$(stat -c %s sub/t.bin)\" = 260 ]"},
        TargetCase{"link_to_new_file", false, "mkdir sub && ln -s ../sub/new.bin sub/l", "sub/l", 0, "",
                   "test -L sub/l && [ \"$(stat -c %s sub/new.bin)\" = 260 ]"},
        TargetCase{"input_itself", false, "cp fw.hex keep", "fw.hex", 2, "is the firmware file",
                   "cmp fw.hex keep"},
        TargetCase{"link_to_input", false, "cp fw.hex keep && ln -s fw.hex l.bin", "l.bin", 2,
                   "is the firmware file", "cmp fw.hex keep && test -L l.bin"}),
    CaseName<TargetCase>);

// The umask of the writing process decides a new file's mode; a replaced file keeps its own.
TEST(MakeBinModes, NewFilesFollowTheUmaskAndReplacedOnesKeepTheirMode) {
    CTempDir dir;
    dir.Write("fw.hex", hex_text::FileFor(0x104000, Sam7App(0x100)));
    const std::string cd = "cd " + ShellQuote(dir.Root().string()) + " && ";
    const struct {
        const char* umask;
        const char* setup;
        const char* mode;
    } cases[] = {{"077", "true", "600"},
                 {"027", "true", "640"},
                 {"022", "true", "644"},
                 {"077", "echo old > o.bin && chmod 664 o.bin", "664"}};
    for (const auto& c : cases) {
        RunCommand(cd + "rm -f o.bin && " + c.setup);
        const CommandResult r =
            RunCommand(cd + "umask " + c.umask + " && " + kBounded + " make-bin fw.hex --output o.bin");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(RunCommand(cd + "stat -c %a o.bin").out, std::string(c.mode) + "\n") << c.umask << c.setup;
    }
}

struct InputCase {
    const char* name;
    bool needsRoot;
    std::string command; // run by bash in the test folder; CLI stands for the program
    int status;
    std::string stdoutPart;
    std::string stderrPart;
};
void PrintTo(const InputCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class UnusualInputs : public ::testing::TestWithParam<InputCase> {};

TEST_P(UnusualInputs, LoadOrFailWithoutHanging) {
    const InputCase& c = GetParam();
    if (c.needsRoot && ::geteuid() != 0) {
        GTEST_SKIP() << "making device nodes needs root";
    }
    CTempDir dir;
    dir.Write("fw.hex", hex_text::FileFor(0x104000, Sam7App(0x100)));
    std::string command = c.command;
    for (auto at = command.find("CLI"); at != std::string::npos; at = command.find("CLI")) {
        command.replace(at, 3, kBounded);
    }
    const CommandResult r =
        RunCommand("cd " + ShellQuote(dir.Root().string()) + " && bash -c " + ShellQuote(command));
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE(r.out.find(c.stdoutPart), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.stderrPart), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, UnusualInputs,
    ::testing::Values(
        InputCase{"process_substitution", false, "CLI inspect <(cat fw.hex)", 0, "family:        SAM7", ""},
        InputCase{"standard_input", false, "cat fw.hex | CLI make-bin - --output o.bin && stat -c %s o.bin",
                  0, "260", ""},
        InputCase{"endless_zeros_as_hex", true, "mknod zero c 1 5 && ln -s zero z.hex && CLI inspect z.hex",
                  3, "", "not a firmware file"},
        InputCase{"endless_zeros_as_bin", true,
                  "mknod zero c 1 5 && ln -s zero z.bin && CLI make-bin z.bin --output o.bin; s=$?; "
                  "test ! -e o.bin && exit $s",
                  3, "", "too large"},
        InputCase{"flash_needs_a_regular_file", false, "mkfifo f.hex && CLI flash --port /dev/null f.hex", 3,
                  "", "not a regular file"},
        InputCase{"stdout_full_inspect", true, "mknod full c 1 7 && CLI inspect fw.hex > full", 6, "",
                  "No space left on device"},
        InputCase{"stdout_full_make_bin", true,
                  "mknod full c 1 7 && CLI make-bin fw.hex --output o.bin > full", 6, "",
                  "cannot write the output"},
        InputCase{"stdout_full_version", true, "mknod full c 1 7 && CLI --version > full", 6, "", ""},
        InputCase{"stdout_full_help", true, "mknod full c 1 7 && CLI --help > full", 6, "", ""},
        InputCase{"stdout_full_command_help", true, "mknod full c 1 7 && CLI inspect --help > full", 6, "",
                  ""}),
    CaseName<InputCase>);

} // namespace
