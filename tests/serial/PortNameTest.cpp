// Whether two names given for a port are the same port, by each system's rules: a POSIX path is compared
// as it is; a Windows device name without regard to case and with or without the device prefix.
#include "serial/PortDiscovery.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace {

using brenwick::serial::PortNameRules;
using brenwick::serial::SamePortName;

struct NameCase {
    const char* name;
    PortNameRules rules;
    const char* a;
    const char* b;
    bool same;
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }
};

class PortNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortNames, AreTheSamePortOrNot) {
    const NameCase& c = GetParam();
    EXPECT_EQ(SamePortName(c.a, c.b, c.rules), c.same) << c.a << " and " << c.b;
    EXPECT_EQ(SamePortName(c.b, c.a, c.rules), c.same) << c.b << " and " << c.a;
}

INSTANTIATE_TEST_SUITE_P(
    Serial, PortNames,
    ::testing::Values(
        NameCase{"windows_same_spelling", PortNameRules::Windows, "COM5", "COM5", true},
        NameCase{"windows_other_case", PortNameRules::Windows, "COM150", "com150", true},
        NameCase{"windows_device_prefix", PortNameRules::Windows, "COM5", "\\\\.\\COM5", true},
        NameCase{"windows_prefix_and_case", PortNameRules::Windows, "\\\\.\\com5", "Com5", true},
        NameCase{"windows_both_prefixed", PortNameRules::Windows, "\\\\.\\COM5", "\\\\.\\cOm5", true},
        NameCase{"windows_other_number", PortNameRules::Windows, "COM1", "COM10", false},
        NameCase{"windows_prefixed_other_number", PortNameRules::Windows, "\\\\.\\COM1", "COM11", false},
        NameCase{"windows_half_a_prefix", PortNameRules::Windows, "\\\\COM5", "COM5", false},
        NameCase{"posix_same_path", PortNameRules::Posix, "/dev/ttyUSB0", "/dev/ttyUSB0", true},
        NameCase{"posix_other_case", PortNameRules::Posix, "/dev/ttyACM0", "/dev/ttyacm0", false},
        NameCase{"posix_no_device_prefix", PortNameRules::Posix, "COM5", "\\\\.\\COM5", false},
        NameCase{"posix_other_path", PortNameRules::Posix, "/dev/ttyUSB1", "/dev/ttyUSB10", false}),
    CaseName<NameCase>);

} // namespace
