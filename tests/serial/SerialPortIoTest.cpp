// Reads, writes and event waits of the port over a real pseudo-terminal.
#include "support/PtyPair.h"
#include "serial/SerialPort.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <termios.h>
#include <thread>

using namespace brenwick::serial;

using namespace brenwick;

namespace {

using namespace std::string_literals;

// Bytes a cooked tty would change or act on: they must travel untouched.
const std::string kAwkwardBytes = "A\r\n\n\r\x03\x04\x11\x13\x1a\x7f\xff\x00Z"s;

class SerialIoTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_EQ(port.OpenPort(pty.path.c_str(), 32768, 32768, GetParam()), 0);
        ASSERT_EQ(port.SetupLine(115200, 8, ParityNone, StopBitsOne), 0);
        ASSERT_EQ(port.SetHandshaking(HandshakeOff), 0);
    }
    // Reads until `expected` bytes came or nothing more arrives.
    std::string ReadAll(size_t expected) {
        std::string got;
        for (int tries = 0; tries < 200 && got.size() < expected; ++tries) {
            char buffer[16384];
            uint32_t read = 0;
            EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), 0);
            got.append(buffer, read);
            if (read == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return got;
    }
    PtyPair pty;
    CSerialPort port;
};

INSTANTIATE_TEST_SUITE_P(PlainAndOverlapped, SerialIoTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Overlapped" : "Plain";
                         });

TEST_P(SerialIoTest, BytesTravelUnchangedBothWays) {
    uint32_t written = 0;
    ASSERT_EQ(port.WriteBytes(kAwkwardBytes.data(), static_cast<uint32_t>(kAwkwardBytes.size()), &written,
                              nullptr, INFINITE),
              0);
    EXPECT_EQ(written, kAwkwardBytes.size());
    EXPECT_EQ(pty.ReceiveAtDevice(1000), kAwkwardBytes);

    pty.SendFromDevice(kAwkwardBytes);
    EXPECT_EQ(ReadAll(kAwkwardBytes.size()), kAwkwardBytes);
}

TEST_P(SerialIoTest, NonBlockingReadOfNothingReturnsAtOnceWithZero) {
    char buffer[16];
    uint32_t read = 42;
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), 0);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, nullptr, nullptr, INFINITE), 0); // null count
}

TEST_P(SerialIoTest, LargeReadTakesEverythingWaiting) {
    std::string block(3000, '\0');
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 7);
    }
    pty.SendFromDevice(block);
    EXPECT_EQ(ReadAll(block.size()), block);
}

TEST_P(SerialIoTest, EmptyWritesSucceedAndSendNothing) {
    uint32_t written = 5;
    EXPECT_EQ(port.WriteString("", &written, nullptr, INFINITE), 0);
    EXPECT_EQ(written, 0u);
    written = 5;
    EXPECT_EQ(port.WriteBytes(nullptr, 0, &written, nullptr, INFINITE), 0);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(port.WriteString("ab", nullptr, nullptr, INFINITE), 0); // null count
    EXPECT_EQ(pty.ReceiveAtDevice(500), "ab");
}

TEST_P(SerialIoTest, MissingBufferIsRefused) {
    uint32_t count = 3;
    EXPECT_EQ(port.WriteBytes(nullptr, 4, &count, nullptr, INFINITE), EINVAL);
    EXPECT_EQ(count, 0u);
    count = 3;
    EXPECT_EQ(port.ReadBytes(nullptr, 4, &count, nullptr, INFINITE), EINVAL);
    EXPECT_EQ(count, 0u);
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
        uint32_t count = 9;
        EXPECT_EQ(port.WriteBytes("x", 1, &count, c.completion, c.timeout), ERROR_INVALID_FUNCTION);
        EXPECT_EQ(count, 0u);
        count = 9;
        EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, c.completion, c.timeout),
                  ERROR_INVALID_FUNCTION);
        EXPECT_EQ(count, 0u);
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
    char buffer[10];
    uint32_t read = 5;
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, 50), ERROR_TIMEOUT);
    EXPECT_EQ(read, 0u);

    // Bytes that came before the time-out are not lost.
    pty.SendFromDevice("abc");
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, 100), 0);
    EXPECT_EQ(std::string(buffer, read), "abc");

    pty.SendFromDevice("0123456789xyz");
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), 0);
    EXPECT_EQ(std::string(buffer, read), "0123456789");
}

TEST_F(SerialOverlappedTest, CompletionObjectReportsTheOutcome) {
    SerialCompletion completion;
    uint32_t written = 0;
    ASSERT_EQ(port.WriteBytes("hello", 5, &written, &completion, 1000), 0);
    ASSERT_TRUE(completion.done.Wait(1000));
    EXPECT_EQ(completion.result.load(), 0);
    EXPECT_EQ(completion.transferred.load(), 5u);
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "hello");

    completion.done.Reset();
    ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), 0);
    char buffer[4];
    uint32_t read = 1;
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, &completion, 20), ERROR_TIMEOUT);
    ASSERT_TRUE(completion.done.Wait(1000));
    EXPECT_EQ(completion.result.load(), ERROR_TIMEOUT);
    EXPECT_EQ(completion.transferred.load(), 0u);
}

TEST_F(SerialOverlappedTest, EventWaitTimesOutThenReportsArrival) {
    ASSERT_EQ(port.SetEventMask(EV_RXCHAR), 0);
    EXPECT_EQ(port.WaitEvent(nullptr, 30), ERROR_TIMEOUT);
    EXPECT_EQ(port.GetEventType(), 0u);
    pty.SendFromDevice("z");
    EXPECT_EQ(port.WaitEvent(nullptr, 5000), 0);
    EXPECT_EQ(port.GetEventType(), EV_RXCHAR);
    EXPECT_EQ(port.GetEventType(), 0u); // read and cleared
}

TEST_F(SerialOverlappedTest, WriteReportsAnEmptyOutputQueue) {
    ASSERT_EQ(port.SetEventMask(EV_TXEMPTY), 0);
    uint32_t written = 0;
    ASSERT_EQ(port.WriteBytes("data", 4, &written, nullptr, INFINITE), 0);
    EXPECT_EQ(port.WaitEvent(nullptr, 5000), 0);
    EXPECT_EQ(port.GetEventType(), EV_TXEMPTY);
}

TEST_F(SerialOverlappedTest, CloseEndsCallsBlockedOnTheDevice) {
    ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), 0);
    int32_t readResult = -1;
    int32_t waitResult = -1;
    std::thread reader([&] {
        char buffer[4];
        readResult = port.ReadBytes(buffer, sizeof buffer, nullptr, nullptr, INFINITE);
    });
    std::thread waiter([&] { waitResult = port.WaitEvent(nullptr, INFINITE); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let both block (either order is fine)
    EXPECT_EQ(port.ClosePort(), 0);
    reader.join();
    waiter.join();
    EXPECT_EQ(readResult, ERROR_INVALID_HANDLE);
    EXPECT_EQ(waitResult, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialOverlappedTest, HungUpDeviceFailsReadsAndWrites) {
    pty.HangUp();
    uint32_t count = 4;
    EXPECT_NE(port.WriteBytes("x", 1, &count, nullptr, INFINITE), 0);
    EXPECT_EQ(count, 0u);
    char buffer[4];
    count = 4;
    EXPECT_NE(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(port.WaitEvent(nullptr, INFINITE), 0); // ends instead of waiting forever
    EXPECT_EQ(port.ClosePort(), 0);
}

} // namespace

namespace {

// A line whose far end stopped taking bytes: output is suspended, so writes block once nothing fits.
class StoppedLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(port.OpenPort(pty.path.c_str(), 32768, 32768, true), 0);
        ASSERT_EQ(port.SetupLine(115200, 8, ParityNone, StopBitsOne), 0);
        ASSERT_EQ(::tcflow(pty.slave, TCOOFF), 0);
    }
    void TearDown() override { ::tcflow(pty.slave, TCOON); }

    PtyPair pty;
    CSerialPort port;
    std::vector<char> message = std::vector<char>(8192, 'x');
};

TEST_F(StoppedLineTest, AFiniteTimeOutEndsTheWriteAndCancelEndsAnUnlimitedOne) {
    uint32_t written = 1;
    EXPECT_EQ(port.WriteBytes(message.data(), 8192, &written, nullptr, 200), ERROR_TIMEOUT);
    EXPECT_EQ(written, 0u);

    std::atomic<int32_t> code{-1};
    std::thread writer([&] { code = port.WriteBytes(message.data(), 8192, nullptr, nullptr, INFINITE); });
    // Cancel until the writer has left: the first cancel may come before its write started waiting.
    bool left = false;
    for (int tries = 0; tries < 500 && !left; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(port.CancelIo(), 0);
        left = code != -1;
    }
    writer.join();
    EXPECT_EQ(code, ERROR_OPERATION_ABORTED);
    // A cancel affects only what waits at that moment: the next write times out as usual.
    EXPECT_EQ(port.WriteBytes(message.data(), 8192, &written, nullptr, 50), ERROR_TIMEOUT);
    ::tcflow(pty.slave, TCOON);
    EXPECT_EQ(port.WriteBytes("ok", 2, &written, nullptr, 1000), 0);
    EXPECT_EQ(pty.ReceiveAtDevice(500), "ok");
}

} // namespace
