// Port discovery on a prepared /sys and /dev tree, error texts, line-error bits and the event class.
#include "serial/LineErrors.h"
#include "serial/PortDiscovery.h"
#include "serial/PortErrors.h"
#include "serial/SerialTypes.h"
#include "serial/SyncEvent.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <thread>

using namespace brenwick::serial;

namespace fs = std::filesystem;

namespace {

TEST(SerialPortDiscovery, ListsRealDevicesUsbFirstWithTheirDetails) {
    CTempDir root;
    const fs::path sys = root.Root() / "sys";
    const fs::path dev = root.Root() / "dev";
    const auto write = [](const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    };
    const std::string usbA = "pci0000:00/0000:00:14.0/usb1/1-2";
    const std::string usbB = "pci0000:00/0000:00:14.0/usb1/1-10";
    for (const auto& [file, text] : {std::pair{usbA + "/idVendor", "03eb"},
                                     {usbA + "/idProduct", "6124"},
                                     {usbA + "/product", "SAM-BA boot loader"},
                                     {usbB + "/idVendor", "0403"},
                                     {usbB + "/idProduct", "6001"}}) {
        write(sys / "devices" / file, text);
    }
    // Each tty with the device it sits on ("" for none: a virtual console, the pty multiplexer).
    for (const auto& [name, device] : {std::pair{"ttyACM0", usbA + "/1-2:1.0"},
                                       {"ttyUSB10", usbB + "/1-10:1.0/ttyUSB10"},
                                       {"ttyUSB2", usbB + "/1-10:1.0/ttyUSB2"},
                                       {"ttyS0", "platform/serial8250/tty/ttyS0"},
                                       {"ttyS1", "platform/serial8250/tty/ttyS1"},
                                       {"tty0", ""},
                                       {"ptmx", ""}}) {
        fs::create_directories(sys / "class/tty" / name);
        if (!device.empty()) {
            fs::create_directories(sys / "devices" / device);
            fs::create_directory_symlink(sys / "devices" / device, sys / "class/tty" / name / "device");
        }
        write(dev / name, "");
    }
    write(sys / "class/tty/ttyS0/type", "4");
    write(sys / "class/tty/ttyS1/type", "0"); // no UART in this slot
    fs::create_directories(dev / "serial/by-id");
    fs::create_symlink("../../ttyACM0", dev / "serial/by-id/usb-Veltmark_Board_0001-if00");

    // Path | by-id link | USB vendor:product | product name | USB or not, in the order listed.
    std::vector<std::string> listed;
    for (const auto& port : ListSerialPorts(sys.string(), dev.string())) {
        listed.push_back(port.path + "|" + port.byId + "|" + port.usbId + "|" + port.product + "|" +
                         (port.usb ? "usb" : "-"));
    }
    const std::string d = dev.string();
    EXPECT_EQ(listed,
              (std::vector<std::string>{
                  d + "/ttyACM0|" + d +
                      "/serial/by-id/usb-Veltmark_Board_0001-if00|03eb:6124|SAM-BA boot loader|usb",
                  d + "/ttyUSB2||0403:6001||usb", d + "/ttyUSB10||0403:6001||usb", d + "/ttyS0||||-"}));
    EXPECT_TRUE(ListSerialPorts("/nonexistent/brenwick/sys", "/nonexistent/brenwick/dev").empty());
}

TEST(SerialPortErrors, EveryCodeAUserMeetsHasItsOwnSentence) {
    const std::pair<int32_t, const char*> cases[] = {{EACCES, "dialout"},
                                                     {EBUSY, "another program"},
                                                     {EWOULDBLOCK, "another program"},
                                                     {ENOENT, "no such device"},
                                                     {EIO, "removed"},
                                                     {ENODEV, "removed"},
                                                     {ENOTTY, "not a serial port"},
                                                     {ERROR_TIMEOUT, "in time"},
                                                     {ERROR_INVALID_HANDLE, "not open"},
                                                     {ERROR_ALREADY_INITIALIZED, "already open"},
                                                     {ERROR_INVALID_FUNCTION, "plain I/O"},
                                                     {E_INVALIDARG, "invalid setting"},
                                                     {ENOMEM, "serial port error: "},
                                                     {-5, "-5"}};
    for (const auto& [code, part] : cases) {
        EXPECT_NE(DescribePortError(code).find(part), std::string::npos) << DescribePortError(code);
    }
}

TEST(SerialLineErrors, CounterChangesBecomeEventsAndErrorBits) {
    using serial_detail::ErrorCounters;
    const struct {
        const char* name;
        ErrorCounters after;
        uint32_t events;
        uint32_t errors;
    } cases[] = {{"nothing", {}, 0, 0},
                 {"framing", {1, 0, 0, 0, 0}, EV_ERR, CE_FRAME},
                 {"overrun", {0, 3, 0, 0, 0}, EV_ERR, CE_OVERRUN},
                 {"parity", {0, 0, 1, 0, 0}, EV_ERR, CE_RXPARITY},
                 {"break", {0, 0, 0, 1, 0}, EV_BREAK, CE_BREAK},
                 {"buffer", {0, 0, 0, 0, 2}, EV_ERR, CE_RXOVER},
                 {"framing and break", {2, 0, 0, 1, 0}, EV_ERR | EV_BREAK, CE_FRAME | CE_BREAK}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto report = serial_detail::LineErrorsBetween(ErrorCounters{}, c.after);
        EXPECT_EQ(report.events, c.events);
        EXPECT_EQ(report.errors, c.errors);
        // The same counters read again mean no new errors.
        EXPECT_EQ(serial_detail::LineErrorsBetween(c.after, c.after).events, 0u);
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
