// What the port setup dialog offers and how it reads the choice back, for both window front ends.
#include "panel/PortChoice.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace brenwick;
using namespace brenwick::panel;

namespace {

std::vector<serial::SerialPortInfo> Ports() {
    serial::SerialPortInfo usb;
    usb.path = "/dev/ttyACM0";
    usb.byId = "/dev/serial/by-id/usb-Veltmark_Board_42-if00";
    usb.usbId = "1d50:6018";
    usb.product = "Board";
    serial::SerialPortInfo com;
    com.path = "COM3";
    return {usb, com};
}

TEST(PortChoice, LinesAreKeptNamesDescribedByWhatIsKnown) {
    const auto ports = Ports();
    EXPECT_EQ(StoredName(ports[0]), "/dev/serial/by-id/usb-Veltmark_Board_42-if00");
    EXPECT_EQ(StoredName(ports[1]), "COM3");
    EXPECT_EQ(DescribePort(ports[0]), "Board - USB 1d50:6018 - /dev/ttyACM0");
    EXPECT_EQ(DescribePort(ports[1]), "COM3");
    // A port is found by its kept name or by its path; one not present has no line.
    EXPECT_EQ(LineOfPort(ports, "/dev/serial/by-id/usb-Veltmark_Board_42-if00"), 0);
    EXPECT_EQ(LineOfPort(ports, "/dev/ttyACM0"), 0);
    EXPECT_EQ(LineOfPort(ports, "COM3"), 1);
    EXPECT_EQ(LineOfPort(ports, "COM4"), -1);
    EXPECT_EQ(LineOfPort({}, "COM3"), -1);
}

// A typed name counts when it differs from the chosen line; otherwise the line, or the port as it was.
TEST(PortChoice, ATypedNameCountsWhenItDiffersFromTheChosenLine) {
    const struct {
        const char* typed;
        const char* line;
        const char* current;
        const char* chosen;
    } cases[] = {
        {"COM3", "COM3", "COM1", "COM3"}, {"  COM7 ", "COM3", "COM1", "COM7"}, {"", "COM3", "COM1", "COM3"},
        {"   ", "", "COM1", "COM1"},      {"COM9", "", "COM1", "COM9"},        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChosenPort(c.typed, c.line, c.current), c.chosen)
            << "typed '" << c.typed << "', line '" << c.line << "'";
    }
}

TEST(PortChoice, ThirteenBaudLinesAndTheIndexIsTheLine) {
    const std::vector<std::string> lines = BaudLines();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines.front(), "1200");
    EXPECT_EQ(lines[9], "115200");
    EXPECT_EQ(lines.back(), "256000");
    EXPECT_EQ(BaudLineOf(0), 0);
    EXPECT_EQ(BaudLineOf(12), 12);
    EXPECT_EQ(BaudLineOf(13), -1);
    EXPECT_EQ(BaudLineOf(-1), -1);
}

} // namespace
