// Port discovery on a prepared /sys and /dev tree, error texts, line-error bits and the event class.
#include "serial/LineErrors.h"
#include "serial/PortDiscovery.h"
#include "serial/PortErrors.h"
#include "serial/SerialTypes.h"
#include "serial/SyncEvent.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace brenwick::serial;

using namespace brenwick;

namespace fs = std::filesystem;

namespace {

class FakeSystem {
  public:
    FakeSystem() {
        char pattern[] = "/tmp/brenwick_sys_XXXXXX";
        root = mkdtemp(pattern);
        fs::create_directories(Sys() / "class/tty");
        fs::create_directories(Dev() / "serial/by-id");
    }
    ~FakeSystem() { fs::remove_all(root); }
    fs::path Sys() const { return root / "sys"; }
    fs::path Dev() const { return root / "dev"; }

    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    // A tty whose device sits at `devicePath` below /sys/devices; "" for a tty without a device.
    void AddTty(const std::string& name, const std::string& devicePath) const {
        const fs::path tty = Sys() / "class/tty" / name;
        fs::create_directories(tty);
        if (!devicePath.empty()) {
            fs::create_directories(Sys() / "devices" / devicePath);
            fs::create_directory_symlink(Sys() / "devices" / devicePath, tty / "device");
        }
        Write(Dev() / name, "");
    }
    void AddUsbDevice(const std::string& usbPath, const std::string& vid, const std::string& pid,
                      const std::string& product) const {
        const fs::path dir = Sys() / "devices" / usbPath;
        Write(dir / "idVendor", vid);
        Write(dir / "idProduct", pid);
        if (!product.empty()) {
            Write(dir / "product", product);
        }
    }
    void AddById(const std::string& link, const std::string& ttyName) const {
        fs::create_symlink("../../" + ttyName, Dev() / "serial/by-id" / link);
    }

    fs::path root;
};

TEST(SerialPortDiscovery, ListsRealDevicesUsbFirstWithTheirDetails) {
    FakeSystem sys;
    const std::string usbA = "pci0000:00/0000:00:14.0/usb1/1-2";
    const std::string usbB = "pci0000:00/0000:00:14.0/usb1/1-10";
    sys.AddUsbDevice(usbA, "03eb", "6124", "SAM-BA boot loader");
    sys.AddUsbDevice(usbB, "0403", "6001", "");
    sys.AddTty("ttyACM0", usbA + "/1-2:1.0");
    sys.AddTty("ttyUSB10", usbB + "/1-10:1.0/ttyUSB10");
    sys.AddTty("ttyUSB2", usbB + "/1-10:1.0/ttyUSB2");
    sys.AddTty("ttyS0", "platform/serial8250/tty/ttyS0");
    FakeSystem::Write(sys.Sys() / "class/tty/ttyS0/type", "4");
    sys.AddTty("ttyS1", "platform/serial8250/tty/ttyS1");
    FakeSystem::Write(sys.Sys() / "class/tty/ttyS1/type", "0"); // no UART in this slot
    sys.AddTty("tty0", "");                                     // a virtual console
    sys.AddTty("ptmx", "");
    sys.AddById("usb-Veltmark_Board_0001-if00", "ttyACM0");

    const auto ports = ListSerialPorts(sys.Sys().string(), sys.Dev().string());
    const std::string dev = sys.Dev().string();
    ASSERT_EQ(ports.size(), 4u);
    const struct {
        std::string path, byId, usbId, product;
        bool usb;
    } expected[] = {
        {dev + "/ttyACM0", dev + "/serial/by-id/usb-Veltmark_Board_0001-if00", "03eb:6124",
         "SAM-BA boot loader", true},
        {dev + "/ttyUSB2", "", "0403:6001", "", true},
        {dev + "/ttyUSB10", "", "0403:6001", "", true},
        {dev + "/ttyS0", "", "", "", false},
    };
    for (size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ports[i].path, expected[i].path);
        EXPECT_EQ(ports[i].byId, expected[i].byId);
        EXPECT_EQ(ports[i].usbId, expected[i].usbId);
        EXPECT_EQ(ports[i].product, expected[i].product);
        EXPECT_EQ(ports[i].usb, expected[i].usb);
    }
}

TEST(SerialPortDiscovery, MissingTreeGivesAnEmptyList) {
    EXPECT_TRUE(ListSerialPorts("/nonexistent/brenwick/sys", "/nonexistent/brenwick/dev").empty());
}

TEST(SerialPortErrors, EveryCodeAUserMeetsHasItsOwnSentence) {
    const struct {
        int32_t code;
        const char* mustContain;
    } cases[] = {
        {EACCES, "dialout"},
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
        {-5, "-5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_NE(DescribePortError(c.code).find(c.mustContain), std::string::npos)
            << DescribePortError(c.code);
    }
}

TEST(SerialLineErrors, CounterChangesBecomeEventsAndErrorBits) {
    using serial_detail::ErrorCounters;
    const struct {
        const char* name;
        ErrorCounters after;
        uint32_t events;
        uint32_t errors;
    } cases[] = {
        {"nothing", {}, 0, 0},
        {"framing", {1, 0, 0, 0, 0}, EV_ERR, CE_FRAME},
        {"overrun", {0, 3, 0, 0, 0}, EV_ERR, CE_OVERRUN},
        {"parity", {0, 0, 1, 0, 0}, EV_ERR, CE_RXPARITY},
        {"break", {0, 0, 0, 1, 0}, EV_BREAK, CE_BREAK},
        {"buffer", {0, 0, 0, 0, 2}, EV_ERR, CE_RXOVER},
        {"framing and break", {2, 0, 0, 1, 0}, EV_ERR | EV_BREAK, CE_FRAME | CE_BREAK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto report = serial_detail::LineErrorsBetween(ErrorCounters{}, c.after);
        EXPECT_EQ(report.events, c.events);
        EXPECT_EQ(report.errors, c.errors);
        // The same counters read again mean no new errors.
        EXPECT_EQ(serial_detail::LineErrorsBetween(c.after, c.after).events, 0u);
    }
}

TEST(SerialSyncEvent, AutoResetIsConsumedManualResetStays) {
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
}

TEST(SerialSyncEvent, WakesAWaiterOnAnotherThread) {
    CSyncEvent event(false);
    bool woke = false;
    std::thread waiter([&] { woke = event.Wait(0xFFFFFFFFu); });
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(event.Wait(0)); // the waiter consumed it
}

} // namespace
