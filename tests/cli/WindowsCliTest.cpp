// brenwick-cli.exe itself, under the rules of Windows: one port named twice in two spellings (COM names
// ignore case, and \\.\ is the device prefix) is a usage error, as the same spelling twice is.
#include "WindowsChild.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace {

using windows_child::CChild;

struct TwoPortsCase {
    const char* name;
    std::string first;
    std::string second;
    DWORD status;
    bool givenTwice;
    friend void PrintTo(const TwoPortsCase& c, std::ostream* os) { *os << c.name; }
};

class FlashWithTwoPorts : public ::testing::TestWithParam<TwoPortsCase> {};

TEST_P(FlashWithTwoPorts, IsOneDeviceTwiceOrTwoDevices) {
    const TwoPortsCase& c = GetParam();
    const CTempDir dir;
    dir.Write("fw.hex", ":00000001FF\n");
    const std::string args = "flash --port " + c.first + " --port " + c.second + " fw.hex";
    const CChild cli(windows_child::NextToThisProgram(BRENWICK_CLI_FROM_TESTS),
                     std::wstring(args.begin(), args.end()), dir, nullptr, dir.Root());
    ASSERT_TRUE(cli.Started());
    EXPECT_EQ(cli.Wait(60000), std::optional<DWORD>(c.status)) << cli.Err();
    const std::string twice = "brenwick-cli flash: port " + c.second + " is given twice\n";
    EXPECT_EQ(cli.Err().find(twice) != std::string::npos, c.givenTwice) << cli.Err();
}

INSTANTIATE_TEST_SUITE_P(
    Cli, FlashWithTwoPorts,
    ::testing::Values(TwoPortsCase{"same_spelling", "COM150", "COM150", 2, true},
                      TwoPortsCase{"other_case", "COM150", "com150", 2, true},
                      TwoPortsCase{"device_prefix", "COM150", "\\\\.\\COM150", 2, true},
                      TwoPortsCase{"device_prefix_first", "\\\\.\\com150", "Com150", 2, true},
                      // Two ports are no usage error: the run goes on to the file, which holds no firmware.
                      TwoPortsCase{"two_ports", "COM150", "COM151", 3, false}),
    CaseName<TwoPortsCase>);

} // namespace
