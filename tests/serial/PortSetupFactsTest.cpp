// What Windows' setup information tells of a port, as the port list shows it: the USB id from a hardware
// id, and the bus from the bus driver that found the device (USB, a USB converter's own bus, or another).
#include "serial/PortDiscovery.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace {

using brenwick::serial::SerialPortInfo;
using brenwick::serial::serial_detail::ApplySetupFacts;
using brenwick::serial::serial_detail::SetupFacts;
using brenwick::serial::serial_detail::UsbIdFromHardwareId;

TEST(HardwareId, GivesTheUsbIdWhereItNamesOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"USB\\VID_2341&PID_0043&REV_0001", "2341:0043"},
        {"USB\\VID_2341&PID_0043", "2341:0043"},
        {"usb\\vid_10C4&pid_EA60&MI_00", "10c4:ea60"},
        {"FTDIBUS\\COMPORT&VID_0403&PID_6001", "0403:6001"},
        {"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_VID&0001005d_PID&0223", ""},
        {"PCI\\VEN_8086&DEV_A13D&SUBSYS_72701462", ""},
        {"ACPI\\PNP0501", ""},
        {"USB\\VID_23&PID_0043", ""},   // too few digits
        {"USB\\VID_2341&PID_00G3", ""}, // not hex
        {"USB\\VID_2341", ""},          // no product
        {"ROOT\\PORTS\\0000", ""},
        {"", ""},
    };
    for (const auto& [id, usbId] : cases) {
        EXPECT_EQ(UsbIdFromHardwareId(id), usbId) << id;
    }
}

struct FactsCase {
    const char* name;
    SetupFacts facts;
    bool usb;
    bool busKnown;
    std::string usbId;
    std::string product;
    friend void PrintTo(const FactsCase& c, std::ostream* os) { *os << c.name; }
};

class SetupFactsOf : public ::testing::TestWithParam<FactsCase> {};

TEST_P(SetupFactsOf, APort) {
    const FactsCase& c = GetParam();
    SerialPortInfo port{"COM5", "", "stale", "stale", true, false};
    ApplySetupFacts(port, c.facts);
    EXPECT_EQ(port.path, "COM5");
    EXPECT_EQ(port.usb, c.usb);
    EXPECT_EQ(port.busKnown, c.busKnown);
    EXPECT_EQ(port.usbId, c.usbId);
    EXPECT_EQ(port.product, c.product);
}

INSTANTIATE_TEST_SUITE_P(
    Serial, SetupFactsOf,
    ::testing::Values(
        FactsCase{"usb_cdc",
                  {"USB",
                   {"USB\\VID_2341&PID_0043&REV_0001", "USB\\VID_2341&PID_0043"},
                   "Arduino Uno",
                   "USB Serial Device"},
                  true,
                  true,
                  "2341:0043",
                  "Arduino Uno"},
        FactsCase{"ftdi_bus",
                  {"FTDIBUS", {"FTDIBUS\\COMPORT&VID_0403&PID_6001"}, "FT232R USB UART", "USB Serial Port"},
                  true,
                  true,
                  "0403:6001",
                  "FT232R USB UART"},
        FactsCase{"vendor_bus_with_a_usb_id",
                  {"SOMEBUS", {"SOMEBUS\\VID_1A86&PID_7523"}, "", "USB-SERIAL CH340"},
                  true,
                  true,
                  "1a86:7523",
                  "USB-SERIAL CH340"},
        FactsCase{"bluetooth",
                  {"BTHENUM",
                   {"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_VID&0001005d_PID&0223"},
                   "",
                   "Standard Serial over Bluetooth link"},
                  false,
                  true,
                  "",
                  "Standard Serial over Bluetooth link"},
        FactsCase{"virtual_pair",
                  {"COM0COM", {"COM0COM\\PORT"}, "", "com0com - serial port emulator"},
                  false,
                  true,
                  "",
                  "com0com - serial port emulator"},
        FactsCase{"pci_card",
                  {"PCI", {"PCI\\VEN_1415&DEV_C158"}, "", "PCI Serial Port"},
                  false,
                  true,
                  "",
                  "PCI Serial Port"},
        FactsCase{"on_the_board",
                  {"ACPI", {"ACPI\\PNP0501"}, "", "Communications Port"},
                  false,
                  true,
                  "",
                  "Communications Port"},
        FactsCase{"nothing_known", {}, false, false, "", ""}),
    CaseName<FactsCase>);

} // namespace
