// The real brenwick-cli's file commands run by a shell in a folder of their own: what they write to files,
// devices, FIFOs and links, the modes of what they create, and inputs that are not plain files. Device nodes
// are made inside the test's folder (root only), never the system's.
#include "support/CaseName.h"
#include "support/CliProgram.h"
#include "support/Firmware.h"
#include "support/RunCommand.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct ShellCase {
    const char* name;
    bool needsRoot;      // the case makes device nodes
    std::string command; // run by bash in the folder; CLI stands for the program
    int status;
    std::string outPart;
    std::string errPart;
    std::string check = "true"; // run afterwards in the same shell; must succeed
    friend void PrintTo(const ShellCase& c, std::ostream* os) { *os << c.name; }
};

class FileCommands : public ::testing::TestWithParam<ShellCase> {};

TEST_P(FileCommands, StatusOutputAndWhatIsLeft) {
    const ShellCase& c = GetParam();
    if (c.needsRoot && ::geteuid() != 0) {
        GTEST_SKIP() << "making device nodes needs root";
    }
    CTempDir dir;
    // fw.hex makes an export of 260 bytes; big.bin one of 12 KiB.
    firmware::Write(dir, "fw.hex", firmware::Application(0x100, firmware::kSam7Word, 0), true);
    firmware::Write(dir, "big.bin", firmware::Application(0x3000, firmware::kSam7Word, 0), false);
    // A hang is caught without timing anything: a run that should take milliseconds is killed after a minute.
    std::string command = c.command;
    for (auto at = command.find("CLI"); at != std::string::npos; at = command.find("CLI")) {
        command.replace(at, 3, "timeout -s KILL 60 " + ShellQuote(CliProgram()));
    }
    const CommandResult r = RunCommand("cd " + ShellQuote(dir.Root().string()) + " && bash -c " +
                                       ShellQuote(command + "\ns=$?; " + c.check + " || exit 99; exit $s"));
    EXPECT_EQ(r.status, c.status) << r.out << r.err << RunCommand("ls -la " + dir.Root().string()).out;
    EXPECT_NE(r.out.find(c.outPart), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, FileCommands,
    ::testing::Values(
        ShellCase{"stamped_file", false, "CLI make-bin fw.hex --output o.bin && od -An -tx1 -j60 -N2 o.bin",
                  0, "Wrote o.bin (260 bytes)\n 00 41\n", ""},
        ShellCase{"home_folder_by_default", false, "HOME=$PWD CLI make-bin fw.hex && stat -c %s Firm_xxx.bin",
                  0, "\n260\n", ""},
        // A file-size limit of 4 KiB stands in for a full disk: the 12 KiB output cannot be written whole.
        ShellCase{"short_write_keeps_the_earlier_file", false,
                  "echo earlier > o.bin && (ulimit -f 4; CLI make-bin big.bin --output o.bin)", 6, "",
                  "cannot write o.bin", "[ \"$(cat o.bin)\" = earlier ] && [ $(ls | wc -l) = 3 ]"},
        ShellCase{"null_device", true, "mknod null c 1 3 && CLI make-bin fw.hex --output null", 0, "", "",
                  "test -c null && [ \"$(stat -c %t,%T null)\" = 1,3 ]"},
        ShellCase{"full_device", true, "mknod full c 1 7 && CLI make-bin fw.hex --output full", 6, "",
                  "cannot write full: No space left on device",
                  "test -c full && [ \"$(stat -c %t,%T full)\" = 1,7 ]"},
        ShellCase{"fifo_without_reader", false, "mkfifo pipe && CLI make-bin fw.hex --output pipe", 6, "",
                  "no program is reading the FIFO", "test -p pipe"},
        // The shell holds the FIFO open for reading (read-write never waits) while the program writes.
        ShellCase{"fifo_with_reader", false,
                  "mkfifo pipe && exec 3<>pipe && CLI make-bin fw.hex --output pipe && timeout 10 head -c "
                  "260 <&3 > took",
                  0, "", "", "test -p pipe && [ $(stat -c %s took) = 260 ]"},
        ShellCase{"relative_link_chain", false,
                  "mkdir sub && echo old > sub/t.bin && ln -s sub/t.bin a1 && ln -s a1 a2 && CLI make-bin "
                  "fw.hex --output a2",
                  0, "", "", "test -L a1 && test -L a2 && [ $(stat -c %s sub/t.bin) = 260 ]"},
        ShellCase{"link_to_new_file", false,
                  "mkdir sub && ln -s ../sub/new.bin sub/l && CLI make-bin fw.hex --output sub/l", 0, "", "",
                  "test -L sub/l && [ $(stat -c %s sub/new.bin) = 260 ]"},
        ShellCase{"input_itself", false, "cp fw.hex keep && CLI make-bin fw.hex --output fw.hex", 2, "",
                  "is the firmware file", "cmp fw.hex keep"},
        ShellCase{"link_to_input", false,
                  "cp fw.hex keep && ln -s fw.hex l.bin && CLI make-bin fw.hex --output l.bin", 2, "",
                  "is the firmware file", "cmp fw.hex keep && test -L l.bin"},
        // The umask of the writing process decides a new file's mode; a replaced file keeps its own.
        ShellCase{"umask_027", false, "umask 027 && CLI make-bin fw.hex --output o.bin && stat -c %a o.bin",
                  0, ")\n640\n", ""},
        ShellCase{"replaced_file_keeps_its_mode", false,
                  "echo old > o.bin && chmod 664 o.bin && umask 077 && CLI make-bin fw.hex --output o.bin && "
                  "stat -c %a o.bin",
                  0, ")\n664\n", ""},
        ShellCase{"process_substitution", false, "CLI inspect <(cat fw.hex)", 0, "family:        SAM7", ""},
        ShellCase{"standard_input", false, "cat fw.hex | CLI make-bin - --output o.bin && stat -c %s o.bin",
                  0, "\n260\n", ""},
        ShellCase{"endless_zeros_as_hex", true, "mknod zero c 1 5 && ln -s zero z.hex && CLI inspect z.hex",
                  3, "", "not a firmware file"},
        ShellCase{"endless_zeros_as_bin", true,
                  "mknod zero c 1 5 && ln -s zero z.bin && CLI make-bin z.bin --output o.bin", 3, "",
                  "too large", "test ! -e o.bin"},
        ShellCase{"flash_needs_a_regular_file", false, "mkfifo f.hex && CLI flash --port /dev/null f.hex", 3,
                  "", "not a regular file"},
        ShellCase{"stdout_full_inspect", true, "mknod full c 1 7 && CLI inspect fw.hex > full", 6, "",
                  "No space left on device"},
        ShellCase{"stdout_full_make_bin", true,
                  "mknod full c 1 7 && CLI make-bin fw.hex --output o.bin > full", 6, "",
                  "cannot write the output"},
        // Each of the three texts must fail on the full device (6), the last one's status is the case's.
        ShellCase{
            "stdout_full_version_and_help", true,
            "mknod full c 1 7 && CLI --version > full; v=$?; CLI --help > full; h=$?; CLI inspect --help > "
            "full",
            6, "", "", "[ $v$h = 66 ]"}),
    CaseName<ShellCase>);

} // namespace
