// The serial layer's parts that need no device: line codes as termios flags, port discovery on a prepared
// /sys and /dev tree, error texts, line-error bits and the event class.
#include "serial/PortDiscovery.h"
#include "serial/PortErrors.h"
#include "serial/SerialTypes.h"
#include "serial/SyncEvent.h"
#include "serial/posix/LineCodes.h"
#include "serial/posix/LineErrors.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <thread>
#include <tuple>

using namespace brenwick::serial;
using serial_detail::LineState;

namespace fs = std::filesystem;

namespace {

TEST(SerialLineCodes, EveryParityAndFrameCodeGivesItsFlagsAndReadsBack) {
    constexpr uint32_t kSizes[] = {CS5, CS6, CS7, CS8};
    // Each parity code with its flags among PARENB, PARODD and CMSPAR, and whether INPCK checks it.
    for (const auto& [parity, cflags, checking] : {std::tuple{ParityNone, 0u, false},
                                                   {ParityOdd, uint32_t{PARENB | PARODD}, true},
                                                   {ParityEven, uint32_t{PARENB}, true},
                                                   {ParityMark, uint32_t{PARENB | PARODD | CMSPAR}, true},
                                                   {ParitySpace, uint32_t{PARENB | CMSPAR}, true}}) {
        for (int32_t bits = 5; bits <= 8; ++bits) {
            for (int32_t stop : {StopBitsOne, StopBitsOneAndHalf, StopBitsTwo}) {
                SCOPED_TRACE(testing::Message()
                             << "parity " << parity << ", " << bits << " bits, stop " << stop);
                // One and a half stop bits go only with five data bits, two only with more (the port refuses
                // the others before they get here).
                if (stop != StopBitsOne && (stop == StopBitsTwo) != (bits > 5)) {
                    continue;
                }
                LineState state;
                // Start from the opposite of what is wanted, so that every flag must be both set and cleared.
                state.cflag = PARENB | PARODD | CMSPAR | CSTOPB | CS7 | CREAD;
                state.iflag = INPCK | IXON;
                serial_detail::EncodeLine(state, bits, parity, stop);
                EXPECT_EQ(state.cflag & (PARENB | PARODD | CMSPAR), cflags);
                EXPECT_EQ((state.iflag & INPCK) != 0, checking);
                EXPECT_EQ(state.cflag & CSIZE, kSizes[bits - 5]);
                EXPECT_EQ((state.cflag & CSTOPB) != 0, stop != StopBitsOne);
                EXPECT_EQ(state.cflag & CREAD, static_cast<uint32_t>(CREAD)); // other settings stay
                EXPECT_EQ(state.iflag & IXON, static_cast<uint32_t>(IXON));
                EXPECT_EQ(serial_detail::DecodeParity(state), parity);
                EXPECT_EQ(serial_detail::DecodeDataBits(state), bits);
                EXPECT_EQ(serial_detail::DecodeStopBits(state), stop);
            }
        }
    }
    LineState unchecked; // parity generated but not checked reads as none
    unchecked.cflag = PARENB | PARODD | CS8;
    EXPECT_EQ(serial_detail::DecodeParity(unchecked), ParityNone);
}

// The flags of each mode, and that setting one clears the others', are read back through stty on a real port
// (SerialPortTest); the modem lines a pseudo-terminal lacks are checked here.
TEST(SerialLineCodes, OnlyHardwareHandshakingRaisesTheModemLinesAndXonXoffDetailsStay) {
    for (const int32_t mode : {HandshakeOff, HandshakeHardware, HandshakeSoftware}) {
        LineState state;
        state.iflag = IXANY;
        const serial_detail::FlowControl flow = serial_detail::HandshakeFlow(mode);
        EXPECT_EQ(flow.raiseLines, mode == HandshakeHardware) << mode;
        serial_detail::EncodeFlow(state, flow);
        EXPECT_EQ(serial_detail::HandshakeOf(serial_detail::DecodeFlow(state)), mode);
        EXPECT_NE(state.iflag & IXANY, 0u);
    }
}

TEST(SerialLineCodes, RawModeTurnsOffEveryTranslation) {
    LineState state;
    state.iflag = ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK | IXON;
    state.oflag = OPOST | ONLCR;
    state.lflag = ECHO | ICANON | ISIG | IEXTEN | ECHONL;
    serial_detail::MakeRaw(state);
    EXPECT_EQ(state.iflag, static_cast<uint32_t>(IXON)); // flow control is the handshaking's business
    EXPECT_EQ(state.oflag & OPOST, 0u);
    EXPECT_EQ(state.lflag & (ECHO | ICANON | ISIG | IEXTEN | ECHONL), 0u);
    EXPECT_EQ(state.cflag & (CREAD | CLOCAL), static_cast<uint32_t>(CREAD | CLOCAL));
}

TEST(SerialPortDiscovery, ListsRealDevicesUsbFirstWithTheirDetails) {
    CTempDir root;
    const fs::path sys = root.Root() / "sys";
    const std::string usbA = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const std::string usbB = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-10";
    for (const auto& [file, text] : {std::pair{usbA + "/idVendor", "03eb\n"},
                                     {usbA + "/idProduct", "6124\n"},
                                     {usbA + "/product", "SAM-BA boot loader\n"},
                                     {usbB + "/idVendor", "0403\n"},
                                     {usbB + "/idProduct", "6001\n"},
                                     {"sys/class/tty/ttyS0/type", "4\n"},
                                     {"sys/class/tty/ttyS1/type", "0\n"}}) { // ttyS1: no UART in this slot
        root.Write(file, text);
    }
    // Each tty with the device it sits on ("" for none, as the pty multiplexer).
    for (const auto& [name, device] : {std::pair{"ttyACM0", usbA + "/1-2:1.0"},
                                       {"ttyUSB10", usbB + "/1-10:1.0/ttyUSB10"},
                                       {"ttyUSB2", usbB + "/1-10:1.0/ttyUSB2"},
                                       {"ttyS0", "sys/devices/platform/serial8250/tty/ttyS0"},
                                       {"ttyS1", "sys/devices/platform/serial8250/tty/ttyS1"},
                                       {"ptmx", ""}}) {
        fs::create_directories(sys / "class/tty" / name);
        if (!device.empty()) {
            fs::create_directories(root.Root() / device);
            fs::create_directory_symlink(root.Root() / device, sys / "class/tty" / name / "device");
        }
        root.Write(std::string("dev/") + name, "");
    }
    const std::string d = root.Path("dev");
    fs::create_directories(d + "/serial/by-id");
    fs::create_symlink("../../ttyACM0", d + "/serial/by-id/usb-Veltmark_Board_0001-if00");

    // Path | by-id link | USB vendor:product | product name | USB or not, in the order listed.
    std::vector<std::string> listed;
    for (const auto& port : ListSerialPorts(sys.string(), d)) {
        listed.push_back(port.path + "|" + port.byId + "|" + port.usbId + "|" + port.product + "|" +
                         (port.usb ? "usb" : "-"));
    }
    EXPECT_EQ(listed,
              (std::vector<std::string>{
                  d + "/ttyACM0|" + d +
                      "/serial/by-id/usb-Veltmark_Board_0001-if00|03eb:6124|SAM-BA boot loader|usb",
                  d + "/ttyUSB2||0403:6001||usb", d + "/ttyUSB10||0403:6001||usb", d + "/ttyS0||||-"}));
    EXPECT_TRUE(ListSerialPorts("/nonexistent/brenwick/sys", "/nonexistent/brenwick/dev").empty());
    // One tty described alone as the list describes it, by-id name aside.
    for (const auto& port : ListSerialPorts(sys.string(), d)) {
        const SerialPortInfo alone = DescribeTty(port.path, sys.string());
        EXPECT_EQ(alone.path + "|" + alone.usbId + "|" + alone.product + "|" + (alone.usb ? "usb" : "-"),
                  port.path + "|" + port.usbId + "|" + port.product + "|" + (port.usb ? "usb" : "-"));
        EXPECT_EQ(alone.byId, "");
    }
}

TEST(SerialLineErrors, CounterChangesBecomeEventsAndErrorBits) {
    using serial_detail::ErrorCounters;
    const std::tuple<const char*, ErrorCounters, uint32_t, uint32_t> cases[] = {
        {"nothing", {}, 0, 0},
        {"framing", {1, 0, 0, 0, 0}, EV_ERR, CE_FRAME},
        {"overrun", {0, 3, 0, 0, 0}, EV_ERR, CE_OVERRUN},
        {"parity", {0, 0, 1, 0, 0}, EV_ERR, CE_RXPARITY},
        {"break", {0, 0, 0, 1, 0}, EV_BREAK, CE_BREAK},
        {"buffer", {0, 0, 0, 0, 2}, EV_ERR, CE_RXOVER},
        {"framing and break", {2, 0, 0, 1, 0}, EV_ERR | EV_BREAK, CE_FRAME | CE_BREAK}};
    for (const auto& [name, after, events, errors] : cases) {
        SCOPED_TRACE(name);
        const auto report = serial_detail::LineErrorsBetween(ErrorCounters{}, after);
        EXPECT_EQ(report.events, events);
        EXPECT_EQ(report.errors, errors);
        // The same counters read again mean no new errors.
        EXPECT_EQ(serial_detail::LineErrorsBetween(after, after).events, 0u);
    }
}

TEST(SerialSyncEvent, AutoResetIsConsumedManualResetStaysAndAWaiterElsewhereWakes) {
    CSyncEvent autoReset(false);
    CSyncEvent manual(true);
    EXPECT_FALSE(autoReset.Wait(0));
    autoReset.Set();
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Wait(10));
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0xFFFFFFFFu));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));

    bool woke = false;
    std::thread waiter([&] { woke = autoReset.Wait(0xFFFFFFFFu); });
    autoReset.Set();
    waiter.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(autoReset.Wait(0)); // the waiter consumed it
}

} // namespace
