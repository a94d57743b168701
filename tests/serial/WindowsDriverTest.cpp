// What real Windows drivers answer and Wine does not: the port's calls to the driver are replaced one at a
// time (an unplugged USB device, a refused queue size, a line that cannot be read, a cancel that never
// completes) on a real COM port pair, and the port must tell the user the right thing and leave nothing
// half open.
#include "serial/ComPair.h"
#include "serial/PortContract.h"
#include "serial/PortErrors.h"
#include "serial/SerialPort.h"
#include "serial/win32/CommCalls.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <type_traits>

using namespace brenwick::serial;
using port_contract::kSuccess;

namespace {

// Puts `fake` in a call's slot for the life of this object.
template <typename Call>
class CInjected {
  public:
    CInjected(std::atomic<Call>& slot, std::type_identity_t<Call> fake)
        : m_Slot(slot), m_Saved(slot.exchange(fake)) {}
    ~CInjected() { m_Slot.store(m_Saved); }
    CInjected(const CInjected&) = delete;
    CInjected& operator=(const CInjected&) = delete;

  private:
    std::atomic<Call>& m_Slot;
    Call m_Saved;
};

// The code the failing fakes report; set by each case.
std::atomic<DWORD> g_Code{ERROR_GEN_FAILURE};

BOOL Failed() {
    ::SetLastError(g_Code.load());
    return FALSE;
}

const std::string kGone = "the device was removed or stopped responding";

std::error_code System(DWORD code) {
    return {static_cast<int>(code), std::system_category()};
}

// Once the port is open, each of these codes from any call that moves bytes or waits for the line means the
// device was unplugged: the call ends at once with a code that says so, and the port counts as hung up.
TEST(WindowsDriver, UnplugCodesOnAnOpenPortMeanTheDeviceWentAway) {
    REQUIRE_LINE(pair);
    struct Step {
        const char* name;
        std::error_code (*run)(CSerialPort&);
    };
    const Step steps[] = {
        {"write",
         [](CSerialPort& port) {
             const CInjected fake(Comm().writeFile,
                                  [](HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { return Failed(); });
             uint32_t written = 0;
             return port.WriteBytes("abc", 3, &written, nullptr, 5000);
         }},
        {"blocking read",
         [](CSerialPort& port) {
             EXPECT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), kSuccess);
             const CInjected fake(Comm().readFile,
                                  [](HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) { return Failed(); });
             char buffer[4];
             uint32_t read = 0;
             return port.ReadBytes(buffer, sizeof buffer, &read, nullptr, 5000);
         }},
        {"line status",
         [](CSerialPort& port) {
             const CInjected fake(Comm().clearCommError, [](HANDLE, LPDWORD, LPCOMSTAT) { return Failed(); });
             char buffer[4];
             uint32_t read = 0;
             return port.ReadBytes(buffer, sizeof buffer, &read, nullptr, 5000);
         }},
        {"event wait",
         [](CSerialPort& port) {
             const CInjected fake(Comm().waitCommEvent,
                                  [](HANDLE, LPDWORD, LPOVERLAPPED) { return Failed(); });
             return port.WaitEvent(nullptr, 5000);
         }},
    };
    const DWORD unplugCodes[] = {ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE,
                                 ERROR_DEVICE_REMOVED};
    for (const DWORD code : unplugCodes) {
        g_Code.store(code);
        for (const Step& step : steps) {
            SCOPED_TRACE(std::string(step.name) + ", code " + std::to_string(code));
            CSerialPort port;
            ASSERT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);
            EXPECT_FALSE(port.HungUp());
            const std::error_code rc = step.run(port);
            EXPECT_TRUE(DeviceGone(rc)) << rc;
            EXPECT_EQ(DescribePortError(rc), kGone);
            EXPECT_TRUE(port.HungUp());
            EXPECT_EQ(port.ClosePort(), kSuccess);
        }
    }
    // Before the port is this program's, access denied is another program holding it.
    EXPECT_EQ(DescribePortError(System(ERROR_ACCESS_DENIED)), "the port is in use by another program");
}

// The queue sizes are a wish: a driver that refuses them still gives a working port.
TEST(WindowsDriver, AQueueSizeTheDriverRefusesDoesNotStopTheOpen) {
    REQUIRE_LINE(pair);
    g_Code.store(ERROR_INVALID_PARAMETER);
    const CInjected fake(Comm().setupComm, [](HANDLE, DWORD, DWORD) { return Failed(); });
    CSerialPort sender;
    CSerialPort receiver;
    ASSERT_EQ(sender.OpenPort(pair[0].c_str(), 32768, 32768, true), kSuccess);
    ASSERT_EQ(receiver.OpenPort(pair[1].c_str(), 32768, 32768, true), kSuccess);
    ASSERT_EQ(receiver.SetReadTimeoutMode(ReadTimeoutBlocking), kSuccess);
    uint32_t moved = 0;
    ASSERT_EQ(sender.WriteString("queue", &moved, nullptr, 5000), kSuccess);
    char buffer[5];
    ASSERT_EQ(receiver.ReadBytes(buffer, sizeof buffer, &moved, nullptr, 5000), kSuccess);
    EXPECT_EQ(std::string(buffer, moved), "queue");
}

// A port whose line settings cannot be read is not opened, and the user learns the driver's own reason: a
// USB device that does not answer its driver is not "no serial port".
TEST(WindowsDriver, ALineThatCannotBeReadKeepsItsCodeAndItsSentence) {
    REQUIRE_LINE(pair);
    const struct {
        DWORD code;
        std::string sentence;
    } cases[] = {
        {ERROR_GEN_FAILURE, kGone},
        {ERROR_NOT_SUPPORTED, "this is not a serial port"},
        {ERROR_INVALID_FUNCTION, "this is not a serial port"},
    };
    const CInjected fake(Comm().getCommState, [](HANDLE, LPDCB) { return Failed(); });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        g_Code.store(c.code);
        CSerialPort port;
        const std::error_code rc = port.OpenPort(pair[0].c_str(), 0, 0, true);
        EXPECT_EQ(rc, System(c.code));
        EXPECT_EQ(DescribePortError(rc), c.sentence);
        EXPECT_FALSE(port.IsOpen());
    }
}

// Whichever step of the open fails, the open returns its code and nothing stays open: the same object opens
// the port afterwards.
TEST(WindowsDriver, AnOpenThatFailsAtALaterStepLeavesNothingOpen) {
    REQUIRE_LINE(pair);
    g_Code.store(ERROR_GEN_FAILURE);
    const auto openFailsAt = [&](auto& slot, auto fake) {
        CSerialPort port;
        {
            const CInjected injected(slot, fake);
            EXPECT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), System(ERROR_GEN_FAILURE));
            EXPECT_FALSE(port.IsOpen());
            EXPECT_EQ(port.GetBaudRate(), -1);
        }
        EXPECT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);
    };
    openFailsAt(Comm().setCommMask, [](HANDLE, DWORD) { return Failed(); });
    openFailsAt(Comm().setCommTimeouts, [](HANDLE, LPCOMMTIMEOUTS) { return Failed(); });
}

COMMTIMEOUTS g_Written{};

// Every field of the time-outs is the program's own after the open and after each change of read mode:
// write totals that a driver or an earlier program left would end writes early and split messages.
TEST(WindowsDriver, TheTimeOutsAreThePrograms) {
    REQUIRE_LINE(pair);
    const CInjected recorder(Comm().setCommTimeouts, [](HANDLE device, LPCOMMTIMEOUTS timeouts) {
        g_Written = *timeouts;
        return ::SetCommTimeouts(device, timeouts);
    });
    g_Written = COMMTIMEOUTS{7, 7, 7, 7, 7}; // what an earlier program could have left
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);
    const auto expect = [](DWORD interval) {
        EXPECT_EQ(g_Written.ReadIntervalTimeout, interval);
        EXPECT_EQ(g_Written.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(g_Written.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(g_Written.WriteTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(g_Written.WriteTotalTimeoutConstant, 0u);
    };
    expect(MAXDWORD);
    g_Written = COMMTIMEOUTS{7, 7, 7, 7, 7};
    ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), kSuccess);
    expect(0);
}

BOOL Pending() {
    ::SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

// A driver that never completes a cancelled read or event wait does not hold the program: the call gives
// the operation up after a bounded wait and reports the device as gone, and the port still closes. (Wine's
// event waits end by themselves, so the event wait stays pending by a driver's answer put in its place.)
TEST(WindowsDriver, ACancelTheDriverNeverCompletesIsGivenUp) {
    REQUIRE_LINE(pair);
    for (const bool read : {true, false}) {
        SCOPED_TRACE(read ? "read" : "event wait");
        CSerialPort port;
        ASSERT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);
        ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), kSuccess);
        std::error_code rc;
        {
            const CInjected ignored(Comm().cancelIoEx, [](HANDLE, LPOVERLAPPED) { return TRUE; });
            const CInjected endless(Comm().waitCommEvent,
                                    [](HANDLE, LPDWORD, LPOVERLAPPED) { return Pending(); });
            char buffer[8];
            uint32_t moved = 99;
            rc = read ? port.ReadBytes(buffer, sizeof buffer, &moved, nullptr, 100)
                      : port.WaitEvent(nullptr, 100);
            if (read) {
                EXPECT_EQ(moved, 0u);
            }
        }
        EXPECT_TRUE(DeviceGone(rc)) << rc;
        EXPECT_TRUE(port.HungUp());
        EXPECT_EQ(port.ClosePort(), kSuccess);
        EXPECT_FALSE(port.IsOpen());
    }
}

// The close ends a wait that the driver never completes: the waiting thread leaves and the close returns.
TEST(WindowsDriver, TheCloseEndsAWaitTheDriverNeverCompletes) {
    REQUIRE_LINE(pair);
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);
    const CInjected ignored(Comm().cancelIoEx, [](HANDLE, LPOVERLAPPED) { return TRUE; });
    const CInjected endless(Comm().waitCommEvent, [](HANDLE, LPDWORD, LPOVERLAPPED) { return Pending(); });
    std::error_code waited;
    std::thread waiter([&] { waited = port.WaitEvent(nullptr, INFINITE); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the wait is pending by now
    EXPECT_EQ(port.ClosePort(), kSuccess);
    waiter.join();
    EXPECT_EQ(waited, PortErrc::NotOpen);
    EXPECT_FALSE(port.IsOpen());
}

} // namespace
