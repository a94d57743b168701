// Reads, writes and event waits of the port over a real pseudo-terminal.
#include "serial/SerialPort.h"
#include "support/PtyPair.h"

#include <array>
#include <atomic>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string>
#include <termios.h>
#include <thread>

using namespace brenwick::serial;
using namespace std::string_literals;

namespace {

class SerialIoTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_EQ(port.OpenPort(pty.path.c_str(), 32768, 32768, GetParam()), 0);
        ASSERT_EQ(port.SetupLine(115200, 8, ParityNone, StopBitsOne), 0);
        ASSERT_EQ(port.SetHandshaking(HandshakeOff), 0);
    }
    PtyPair pty;
    CSerialPort port;
};

INSTANTIATE_TEST_SUITE_P(PlainAndOverlapped, SerialIoTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Overlapped" : "Plain";
                         });

TEST_P(SerialIoTest, BytesTravelUnchangedBothWays) {
    // Bytes a cooked tty would change or act on, then more than one read of the driver holds.
    std::string bytes = "A\r\n\n\r\x03\x04\x11\x13\x1a\x7f\xff\x00Z"s;
    for (int i = 0; i < 3000; ++i) {
        bytes += static_cast<char>(i * 7);
    }
    uint32_t written = 0;
    ASSERT_EQ(port.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), &written, nullptr, INFINITE),
              0);
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(pty.ReceiveAtDevice(1000), bytes);
    pty.SendFromDevice(bytes);
    std::string got;
    for (int tries = 0; tries < 200 && got.size() < bytes.size(); ++tries) { // until nothing more arrives
        char buffer[16384];
        uint32_t read = 0;
        EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), 0);
        got.append(buffer, read);
        std::this_thread::sleep_for(std::chrono::milliseconds(read == 0 ? 5 : 0));
    }
    EXPECT_EQ(got, bytes);
}

TEST_P(SerialIoTest, EmptyTransfersMoveNothingAndAMissingBufferIsRefused) {
    char buffer[16];
    std::array<uint32_t, 5> counts = {5, 5, 5, 5, 5};
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &counts[0], nullptr, INFINITE), 0); // returns at once
    EXPECT_EQ(port.WriteString("", &counts[1], nullptr, INFINITE), 0);
    EXPECT_EQ(port.WriteBytes(nullptr, 0, &counts[2], nullptr, INFINITE), 0);
    EXPECT_EQ(port.WriteBytes(nullptr, 4, &counts[3], nullptr, INFINITE), EINVAL);
    EXPECT_EQ(port.ReadBytes(nullptr, 4, &counts[4], nullptr, INFINITE), EINVAL);
    EXPECT_EQ(counts, (std::array<uint32_t, 5>{}));
    // A null count is allowed.
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, nullptr, nullptr, INFINITE), 0);
    EXPECT_EQ(port.WriteString("ab", nullptr, nullptr, INFINITE), 0);
    EXPECT_EQ(pty.ReceiveAtDevice(500), "ab");
}

TEST(SerialPlainIo, CompletionObjectsAndFiniteTimeoutsAreRefused) {
    PtyPair pty;
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pty.path.c_str(), 0, 0, false), 0);
    pty.SendFromDevice("waiting");
    SerialCompletion completion;
    char buffer[16];
    const struct {
        SerialCompletion* completion;
        uint32_t timeout;
    } cases[] = {{&completion, INFINITE}, {nullptr, 100}, {&completion, 0}, {nullptr, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timeout);
        uint32_t counts[2] = {9, 9};
        EXPECT_EQ(port.WriteBytes("x", 1, &counts[0], c.completion, c.timeout), ERROR_INVALID_FUNCTION);
        EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &counts[1], c.completion, c.timeout),
                  ERROR_INVALID_FUNCTION);
        EXPECT_EQ(counts[0] + counts[1], 0u);
        EXPECT_EQ(port.WaitEvent(c.completion, c.timeout), ERROR_INVALID_FUNCTION);
        EXPECT_EQ(port.GetLastError(), ERROR_INVALID_FUNCTION);
    }
    EXPECT_FALSE(completion.done.Wait(0));
    EXPECT_EQ(pty.ReceiveAtDevice(100), ""); // nothing went out
    uint32_t read = 0;
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), 0);
    EXPECT_EQ(std::string(buffer, read), "waiting"); // and nothing was taken in
}

class SerialOverlappedTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(port.OpenPort(pty.path.c_str(), 0, 0, true), 0); }
    PtyPair pty;
    CSerialPort port;
};

TEST_F(SerialOverlappedTest, BlockingReadTimesOutWithNothingAndHandsOverWhatCame) {
    ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), 0);
    SerialCompletion completion;
    char buffer[10];
    uint32_t read = 5;
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, &completion, 50), ERROR_TIMEOUT);
    EXPECT_EQ(read, 0u);
    ASSERT_TRUE(completion.done.Wait(1000));
    EXPECT_EQ(completion.result.load(), ERROR_TIMEOUT);

    // Bytes that came before the time-out are not lost.
    completion.done.Reset();
    pty.SendFromDevice("abc");
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, &completion, 100), 0);
    EXPECT_EQ(std::string(buffer, read), "abc");
    ASSERT_TRUE(completion.done.Wait(1000));
    EXPECT_EQ(completion.result.load(), 0);
    EXPECT_EQ(completion.transferred.load(), 3u);

    pty.SendFromDevice("0123456789xyz");
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), 0);
    EXPECT_EQ(std::string(buffer, read), "0123456789");
}

TEST_F(SerialOverlappedTest, EventWaitsReportArrivalsAndTheDrainedOutputQueue) {
    ASSERT_EQ(port.SetEventMask(EV_RXCHAR), 0);
    EXPECT_EQ(port.WaitEvent(nullptr, 30), ERROR_TIMEOUT);
    EXPECT_EQ(port.GetEventType(), 0u);
    pty.SendFromDevice("z");
    EXPECT_EQ(port.WaitEvent(nullptr, 5000), 0);
    EXPECT_EQ(port.GetEventType(), EV_RXCHAR);
    EXPECT_EQ(port.GetEventType(), 0u); // read and cleared

    ASSERT_EQ(port.SetEventMask(EV_TXEMPTY), 0);
    SerialCompletion completion;
    ASSERT_EQ(port.WriteBytes("hello", 5, nullptr, &completion, 1000), 0);
    ASSERT_TRUE(completion.done.Wait(1000));
    EXPECT_EQ(completion.result.load(), 0);
    EXPECT_EQ(completion.transferred.load(), 5u);
    EXPECT_EQ(port.WaitEvent(nullptr, 5000), 0);
    EXPECT_EQ(port.GetEventType(), EV_TXEMPTY);
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "hello");
}

// A blocked read or event wait goes on through signals (installed without SA_RESTART, so that poll and
// epoll_wait fail with EINTR) until bytes arrive or the port closes.
TEST_F(SerialOverlappedTest, BlockedCallsOutliveSignalsAndEndWithDataOrClose) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    char buffer[4];
    uint32_t read = 0;
    const std::function<int32_t()> calls[] = {
        [&] { return port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE); },
        [&] { return port.WaitEvent(nullptr, INFINITE); }};
    for (const bool close : {false, true}) {
        for (const auto& call : calls) {
            SCOPED_TRACE(close ? "close" : "data");
            ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), 0);
            ASSERT_EQ(port.SetEventMask(EV_RXCHAR), 0);
            int32_t rc = -1;
            std::thread caller([&] { rc = call(); });
            for (int i = 0; i < 5; ++i) { // most of them find the call blocked
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ::pthread_kill(caller.native_handle(), SIGUSR1);
            }
            close ? (void)port.ClosePort() : pty.SendFromDevice("data");
            caller.join();
            EXPECT_EQ(rc, close ? ERROR_INVALID_HANDLE : 0);
            EXPECT_EQ(port.IsOpen(), !close);
            char rest[8]; // what the event wait left unread must not end the next call at once
            ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutNonblocking), close ? ERROR_INVALID_HANDLE : 0);
            port.ReadBytes(rest, sizeof rest, nullptr, nullptr, INFINITE);
            ASSERT_EQ(port.IsOpen() ? 0 : port.OpenPort(pty.path.c_str(), 0, 0, true), 0);
        }
    }
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(std::string(buffer, 4), "data");
}

TEST_F(SerialOverlappedTest, HungUpDeviceFailsReadsAndWrites) {
    pty.HangUp();
    uint32_t counts[2] = {4, 4};
    char buffer[4];
    EXPECT_NE(port.WriteBytes("x", 1, &counts[0], nullptr, INFINITE), 0);
    EXPECT_NE(port.ReadBytes(buffer, sizeof buffer, &counts[1], nullptr, INFINITE), 0);
    EXPECT_EQ(counts[0] + counts[1], 0u);
    EXPECT_NE(port.WaitEvent(nullptr, INFINITE), 0); // ends instead of waiting forever
    EXPECT_EQ(port.ClosePort(), 0);
}

// A line whose far end stopped taking bytes: output is suspended, so writes block once nothing fits.
TEST(StoppedLine, AFiniteTimeOutEndsTheWriteAndCancelEndsAnUnlimitedOne) {
    PtyPair pty;
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pty.path.c_str(), 32768, 32768, true), 0);
    ASSERT_EQ(port.SetupLine(115200, 8, ParityNone, StopBitsOne), 0);
    ASSERT_EQ(::tcflow(pty.slave, TCOOFF), 0);
    const std::vector<char> message(8192, 'x');
    uint32_t written = 1;
    EXPECT_EQ(port.WriteBytes(message.data(), 8192, &written, nullptr, 200), ERROR_TIMEOUT);
    EXPECT_EQ(written, 0u);

    std::atomic<int32_t> code{-1};
    std::thread writer([&] { code = port.WriteBytes(message.data(), 8192, nullptr, nullptr, INFINITE); });
    // Cancel until the writer has left: the first cancel may come before its write started waiting.
    for (int tries = 0; tries < 500 && code == -1; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(port.CancelIo(), 0);
    }
    writer.join();
    EXPECT_EQ(code, ERROR_OPERATION_ABORTED);
    // A cancel affects only what waits at that moment: the next write times out as usual.
    EXPECT_EQ(port.WriteBytes(message.data(), 8192, &written, nullptr, 50), ERROR_TIMEOUT);
    ::tcflow(pty.slave, TCOON);
    EXPECT_EQ(port.WriteBytes("ok", 2, &written, nullptr, 1000), 0);
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "ok");
}

} // namespace
