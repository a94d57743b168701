// The Win32 port over a real line: two COM ports joined like a null-modem cable (a pair of
// pseudo-terminals under Wine, made by scripts/test-windows and named in BRENWICK_TEST_COM_PAIR as
// "COMa COMb"). Line settings as the device reads them back, bytes carried unchanged and announced by line
// events, and every way a wait ends: data, time-out, cancel and close.
#include "serial/ComPair.h"
#include "serial/PortContract.h"
#include "serial/PortErrors.h"
#include "serial/SerialWnd.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace brenwick::serial;
using port_contract::kSuccess;

namespace {

class CountingTarget : public ISerialNotifyTarget {
  public:
    void Post(uint32_t /*message*/, uint32_t wParam, intptr_t /*lParam*/) override {
        if ((wParam & EV_RXCHAR) != 0) {
            arrivals.fetch_add(1);
        }
        if ((wParam & EV_TXEMPTY) != 0) {
            drained.fetch_add(1);
        }
    }
    std::atomic<int> arrivals{0};
    std::atomic<int> drained{0};
};

TEST(WindowsPort, LineSettingsReadBackAndAClosedPortRefusesThem) {
    REQUIRE_LINE(pair);
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pair[0].c_str(), 32768, 32768, true), kSuccess);
    EXPECT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), PortErrc::AlreadyOpen);
    const struct {
        int32_t baud, stopBits;
    } lines[] = {{115200, StopBitsOne}, {9600, StopBitsTwo}, {230400, StopBitsOne}, {1200, StopBitsTwo}};
    for (const auto& line : lines) {
        SCOPED_TRACE(line.baud);
        ASSERT_EQ(port.SetupLine(line.baud, DataBits8, ParityNone, line.stopBits), kSuccess);
        EXPECT_EQ(port.GetBaudRate(), line.baud);
        EXPECT_EQ(port.GetStopBits(), line.stopBits);
        EXPECT_EQ(port.GetDataBits(), DataBits8);
        EXPECT_EQ(port.GetParity(), ParityNone);
    }
    EXPECT_EQ(port.SetEventChar('\r', true), kSuccess);
    EXPECT_EQ(port.GetEventChar(), '\r');
    EXPECT_NE(port.GetEventMask() & EV_RXFLAG, 0u);
    EXPECT_EQ(port.ClosePort(), kSuccess);
    EXPECT_EQ(port.ClosePort(), kSuccess);
    EXPECT_EQ(port.GetBaudRate(), -1);
    EXPECT_EQ(port.SetupLine(9600, 8, 0, 0), PortErrc::NotOpen);
    const std::error_code missing = port.OpenPort("COM254", 0, 0, true);
    EXPECT_NE(DescribePortError(missing).find("no such device"), std::string::npos) << missing;
    EXPECT_FALSE(port.IsOpen());
}

// The same table runs in the POSIX suite.
TEST(WindowsPort, RefusedArgumentsAreInvalidSettingsNotAGoneDeviceAndChangeNothing) {
    REQUIRE_LINE(pair);
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);
    port_contract::ExpectRefusedCallsChangeNothing(port);
}

TEST(WindowsPort, EveryHandshakingModeReadsBackAsItself) {
    REQUIRE_LINE(pair);
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);
    port_contract::ExpectHandshakingReadsBack(port);
}

// Waits up to five seconds for `counter` to pass `above`.
bool Passes(const std::atomic<int>& counter, int above) {
    for (int wait = 0; wait < 500 && counter.load() <= above; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return counter.load() > above;
}

TEST(WindowsPort, BytesCrossUnchangedAndEachArrivalIsAnnouncedOnce) {
    REQUIRE_LINE(pair);
    CountingTarget target;
    CSerialWnd receiver;
    CSerialPort sender;
    ASSERT_EQ(receiver.OpenPort(pair[1].c_str(), &target, 0, 0, 32768, 32768), kSuccess);
    ASSERT_EQ(sender.OpenPort(pair[0].c_str(), 32768, 32768, true), kSuccess);
    for (CSerialPort* port : {static_cast<CSerialPort*>(&receiver), &sender}) {
        ASSERT_EQ(port->SetupLine(115200, DataBits8, ParityNone, StopBitsOne), kSuccess);
        ASSERT_EQ(port->SetEventMask(EV_RXCHAR | EV_TXEMPTY | EV_ERR), kSuccess);
    }
    // Every byte value, control characters and XON/XOFF included, in both read modes.
    std::string sent;
    for (int i = 0; i < 600; ++i) {
        sent += static_cast<char>(i * 7 % 256);
    }
    uint32_t written = 0;
    ASSERT_EQ(sender.WriteBytes(sent.data(), static_cast<uint32_t>(sent.size()), &written, nullptr, 5000),
              kSuccess);
    EXPECT_EQ(written, sent.size());
    // The receiver reads when an arrival is announced, as the document does.
    EXPECT_TRUE(Passes(target.arrivals, 0));
    std::string received;
    char buffer[256];
    for (int wait = 0; wait < 500 && received.size() < sent.size(); ++wait) {
        uint32_t read = 0;
        ASSERT_EQ(receiver.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), kSuccess);
        received.append(buffer, read);
        if (read == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    EXPECT_EQ(received, sent);
    // Nothing more has arrived: a non-blocking read returns at once with nothing, and no arrival is posted.
    const int announced = target.arrivals.load();
    uint32_t read = 99;
    EXPECT_EQ(receiver.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), kSuccess);
    EXPECT_EQ(read, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(target.arrivals.load(), announced);

    // A single byte is announced and read, and the sender's drained queue is announced on its side.
    CountingTarget senderTarget;
    CSerialWnd echo;
    ASSERT_EQ(sender.ClosePort(), kSuccess);
    ASSERT_EQ(echo.OpenPort(pair[0].c_str(), &senderTarget, 0, 0, 0, 0), kSuccess);
    ASSERT_EQ(echo.SetEventMask(EV_RXCHAR | EV_TXEMPTY | EV_ERR), kSuccess);
    ASSERT_EQ(echo.WriteString("!", &written, nullptr, 5000), kSuccess);
    EXPECT_TRUE(Passes(target.arrivals, announced));
    EXPECT_EQ(receiver.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), kSuccess);
    EXPECT_EQ(std::string(buffer, read), "!");
    EXPECT_TRUE(Passes(senderTarget.drained, 0));
    ASSERT_EQ(echo.ClosePort(), kSuccess);
    ASSERT_EQ(sender.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);

    // A blocking read takes exactly what it asks for.
    ASSERT_EQ(receiver.SetReadTimeoutMode(ReadTimeoutBlocking), kSuccess);
    ASSERT_EQ(sender.WriteString("0123456789", &written, nullptr, 5000), kSuccess);
    ASSERT_EQ(receiver.ReadBytes(buffer, 10, &read, nullptr, 5000), kSuccess);
    EXPECT_EQ(std::string(buffer, read), "0123456789");
}

TEST(WindowsPort, AWaitEndsWithItsTimeOutACancelOrTheClose) {
    REQUIRE_LINE(pair);
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, true), kSuccess);
    ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), kSuccess);
    char buffer[16];
    uint32_t read = 99;
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, 200), PortErrc::TimedOut);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(port.WaitEvent(nullptr, 100), PortErrc::TimedOut);

    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(port.CancelIo(), kSuccess);
    });
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), PortErrc::Aborted);
    canceller.join();
    // A cancel from before a read started does not end it.
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, 100), PortErrc::TimedOut);

    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(port.ClosePort(), kSuccess);
    });
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), PortErrc::NotOpen);
    closer.join();
    EXPECT_FALSE(port.IsOpen());

    // A port opened for plain I/O takes neither a completion object nor a finite time-out.
    ASSERT_EQ(port.OpenPort(pair[0].c_str(), 0, 0, false), kSuccess);
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, 100), PortErrc::NotPossibleOnPlainPort);
    SerialCompletion completion;
    EXPECT_EQ(port.WaitEvent(&completion, INFINITE), PortErrc::NotPossibleOnPlainPort);
}

} // namespace
