// Runs the real brenwick-cli binary for the file commands.
#include "support/CaseName.h"
#include "support/HexText.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

const std::string kCli = ShellQuote(BRENWICK_CLI_PATH);

std::vector<uint8_t> Sam7App(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + 3);
    }
    const uint8_t word[] = {0x18, 0xF0, 0x9F, 0xE5};
    std::copy(std::begin(word), std::end(word), bytes.begin());
    return bytes;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(MakeBinCli, WritesTheStampedFileAndNamesIt) {
    CTempDir dir;
    const auto hex = dir.Write("fw.hex", hex_text::FileFor(0x104000, Sam7App(0x1235)));
    const auto out = dir.Path("out.bin");
    const CommandResult r =
        RunCommand(kCli + " make-bin " + ShellQuote(hex) + " --output " + ShellQuote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Wrote " + out + " (4668 bytes)\n");
    const auto bytes = ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), 0x123Cu);
    EXPECT_EQ(bytes[0x3C], 0x38);
    EXPECT_EQ(bytes[0x3D], 0x52);
}

TEST(MakeBinCli, DefaultsToTheHomeFolder) {
    CTempDir dir;
    const auto bin = dir.Write("fw.bin", Sam7App(0x100));
    const CommandResult r =
        RunCommand("HOME=" + ShellQuote(dir.Root().string()) + " " + kCli + " make-bin " + ShellQuote(bin));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(dir.Path("Firm_xxx.bin")).size(), 0x104u);
}

TEST(MakeBinCli, AShortWriteLeavesTheEarlierFileInPlace) {
    // A file-size limit of 4 KiB stands in for a full disk: the 12 KiB output cannot be written whole.
    CTempDir dir;
    const auto bin = dir.Write("fw.bin", Sam7App(0x3000));
    const auto out = dir.Write("out.bin", std::string("earlier good export"));
    const CommandResult r =
        RunCommand("ulimit -f 4; " + kCli + " make-bin " + ShellQuote(bin) + " --output " + ShellQuote(out));
    EXPECT_EQ(r.status, 6) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, "cannot write " + out)) << r.err;
    const auto bytes = ReadFileBytes(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "earlier good export");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Root())) {
        ++files;
    }
    EXPECT_EQ(files, 2) << "a temporary file was left behind";
}

struct CliCase {
    const char* name;
    std::string arguments; // after the program; FILE and OUT stand for the paths below
    int status;
    std::string stdoutPart;
    std::string stderrPart;
};
void PrintTo(const CliCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class CliCases : public ::testing::TestWithParam<CliCase> {};

TEST_P(CliCases, ExitStatusAndMessage) {
    const CliCase& c = GetParam();
    CTempDir dir;
    const auto good = dir.Write("good.hex", hex_text::FileFor(0x104000, Sam7App(0x100)));
    const auto badSum =
        dir.Write("bad.hex", hex_text::Sam7Start() + hex_text::Data(0x4010, {1, 2}, 1) + hex_text::End());
    const auto outside = dir.Write("outside.hex", hex_text::Sam7Start() + hex_text::Upper(0x0014) +
                                                      hex_text::Data(0, {1}) + hex_text::End());
    const auto unknown = dir.Write("unknown.bin", std::vector<uint8_t>(16, 0x11));
    const auto tooLarge = dir.Write("large.bin", std::vector<uint8_t>(0x3C001, 0xE5));
    std::string args = c.arguments;
    const std::pair<std::string, std::string> names[] = {{"GOOD", good},
                                                         {"BADSUM", badSum},
                                                         {"OUTSIDE", outside},
                                                         {"UNKNOWN", unknown},
                                                         {"LARGE", tooLarge},
                                                         {"MISSING", dir.Path("missing.hex")},
                                                         {"NODIR", dir.Path("no/such/dir/out.bin")},
                                                         {"OUT", dir.Path("o.bin")}};
    for (const auto& [key, value] : names) {
        for (auto at = args.find(key); at != std::string::npos; at = args.find(key)) {
            args.replace(at, key.size(), ShellQuote(value));
        }
    }
    const CommandResult r = RunCommand(kCli + " " + args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, c.stdoutPart)) << r.out;
    EXPECT_TRUE(Contains(r.err, c.stderrPart)) << r.err;
    if (c.status != 0 && c.arguments.find("make-bin") != std::string::npos) {
        EXPECT_FALSE(std::filesystem::exists(dir.Path("o.bin"))) << "a failed export wrote a file";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliCases,
    ::testing::Values(
        CliCase{"version", "--version", 0, "brenwick-cli ", ""}, CliCase{"no command", "", 2, "", "usage:"},
        CliCase{"unknown command", "frobnicate", 2, "", "unknown command 'frobnicate'"},
        CliCase{"make-bin help", "make-bin --help", 0, "usage: brenwick-cli make-bin", ""},
        CliCase{"make-bin without file", "make-bin", 2, "", "no firmware file given"},
        CliCase{"make-bin output without value", "make-bin GOOD --output", 2, "", "--output needs a value"},
        CliCase{"make-bin unknown option", "make-bin GOOD --fast", 2, "", "unexpected argument '--fast'"},
        CliCase{"make-bin missing file", "make-bin MISSING --output OUT", 3, "", "No such file or directory"},
        CliCase{"make-bin bad checksum", "make-bin BADSUM --output OUT", 3, "", "bad checksum at line 3"},
        CliCase{"make-bin unwritable output", "make-bin GOOD --output NODIR", 6, "", "cannot write"},
        CliCase{"make-bin output with equals", "make-bin GOOD --output=OUT", 0, "Wrote ", ""},
        CliCase{"inspect good", "inspect GOOD", 0, "family:        SAM7 (ARM7)", ""},
        CliCase{"inspect stamp", "inspect GOOD", 0, "length word: 0x00004100 at offset 0x0403C", ""},
        CliCase{"inspect product id", "inspect GOOD", 0, "product id:    B3 D2 F1 10", ""},
        CliCase{"inspect bad checksum", "inspect BADSUM", 3, "", "bad checksum at line 3"},
        CliCase{"inspect outside window", "inspect OUTSIDE", 3, "", "outside the window"},
        CliCase{"inspect unknown family", "inspect UNKNOWN", 3, "", "unknown family"},
        CliCase{"inspect too large", "inspect LARGE", 3, "", "too large"},
        CliCase{"inspect missing", "inspect MISSING", 3, "", "cannot open"},
        CliCase{"inspect two files", "inspect GOOD GOOD", 2, "", "unexpected argument"}),
    CaseName<CliCase>);

} // namespace
