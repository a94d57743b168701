// The port over real pseudo-terminals: line settings (with stty as an independent reader of them), reads,
// writes and event waits, exclusivity and opening.
#include "serial/SerialPort.h"

#include "serial/PortContract.h"
#include "support/PtyPair.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace brenwick::serial;
using namespace std::string_literals;
using port_contract::kSuccess;

namespace {

std::error_code Errno(int value) {
    return {value, std::system_category()};
}

// Checks that `stty -a` shows each of `words` (a phrase such as "speed 9600 baud" counts as one). The port
// holds the tty exclusively; only root can open it a second time for stty, so others check nothing here.
void ExpectStty(const std::string& path, const std::vector<std::string>& words) {
    if (geteuid() != 0) {
        return;
    }
    std::string settings = " " + RunCommand("stty -F " + path + " -a").out + " ";
    std::replace_if(
        settings.begin(), settings.end(), [](char c) { return c == ';' || c == '\n'; }, ' ');
    for (const std::string& word : words) {
        EXPECT_NE(settings.find(" " + word + " "), std::string::npos) << word << " missing in:" << settings;
    }
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(port.OpenPort(pty.path.c_str(), 32768, 32768, true), kSuccess); }
    PtyPair pty;
    CSerialPort port;
};

// The complete code-to-flag mapping is checked without a device in SerialSupportTest; here each baud rate
// comes with one of the line codes, and stty shows that both reached the kernel. A pseudo-terminal forces 8
// data bits and no parity generation (CS8, PARENB off) whatever it is told, so only the flags it keeps are
// read.
TEST_F(SerialPortTest, EveryTableBaudRateAndLineCodeReachesTheKernelInRawMode) {
    const struct {
        int32_t dataBits, parity, stopBits;
        std::vector<std::string> sttyWords;
    } lines[] = {
        {8, ParityMark, StopBitsTwo, {"parodd", "cmspar", "inpck", "cstopb"}}, // the last rate gets it
        {8, ParityNone, StopBitsOne, {"-parodd", "-cmspar", "-inpck", "-cstopb"}},
        {7, ParitySpace, StopBitsOne, {"-parodd", "cmspar", "inpck", "-cstopb"}},
        {5, ParityOdd, StopBitsOneAndHalf, {"parodd", "-cmspar", "inpck", "cstopb"}}};
    const int32_t bauds[] = {1200,  2400,  4800,   9600,   14400,  19200, 38400,
                             56000, 57600, 115200, 128000, 230400, 256000};
    for (size_t i = 0; i < std::size(bauds); ++i) {
        const auto& line = lines[i % std::size(lines)];
        SCOPED_TRACE(testing::Message() << bauds[i] << " baud, " << line.dataBits << " bits, parity "
                                        << line.parity << ", stop " << line.stopBits);
        ASSERT_EQ(port.SetupLine(bauds[i], line.dataBits, line.parity, line.stopBits), kSuccess);
        EXPECT_EQ(port.GetBaudRate(), bauds[i]);
        EXPECT_EQ(port.GetStopBits(), line.stopBits == StopBitsOne ? StopBitsOne : StopBitsTwo); // CS8 here
        EXPECT_EQ(KernelOutputSpeed(pty.slave), static_cast<uint32_t>(bauds[i]));
        std::vector<std::string> words = line.sttyWords;
        words.insert(words.end(),
                     {"cs8", "-parenb", "-icanon", "-echo", "-isig", "-opost", "-icrnl", "cread", "clocal"});
        if (bauds[i] % 1000 != 0 && bauds[i] != 14400) { // stty names the standard rates only (none k-round)
            words.push_back("speed " + std::to_string(bauds[i]) + " baud");
        }
        ExpectStty(pty.path, words);
    }
}

// The same table runs in the Windows suite.
TEST_F(SerialPortTest, RefusedArgumentsAreInvalidSettingsNotAGoneDeviceAndChangeNothing) {
    port_contract::ExpectRefusedCallsChangeNothing(port);
}

TEST_F(SerialPortTest, EveryHandshakingModeReadsBackAsItself) {
    port_contract::ExpectHandshakingReadsBack(port);
}

TEST_F(SerialPortTest, HandshakingModesSetTheirFlowControlFlags) {
    // Each mode follows one whose flags it must clear.
    const std::pair<int32_t, std::vector<std::string>> cases[] = {
        {HandshakeHardware, {"crtscts", "-ixon", "-ixoff"}},
        {HandshakeSoftware, {"-crtscts", "ixon", "ixoff"}},
        {HandshakeOff, {"-crtscts", "-ixon", "-ixoff"}}};
    for (const auto& [mode, sttyWords] : cases) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(port.SetHandshaking(mode), kSuccess);
        EXPECT_EQ(port.GetHandshaking(), mode);
        ExpectStty(pty.path, sttyWords);
    }
}

TEST(SerialPortIo, BothModesCarryBytesUnchangedMoveNothingOnEmptyTransfersAndFailOnceTheDeviceHangsUp) {
    for (const bool overlapped : {false, true}) {
        SCOPED_TRACE(overlapped ? "overlapped" : "plain");
        PtyPair pty;
        CSerialPort port;
        ASSERT_EQ(port.OpenPort(pty.path.c_str(), 32768, 32768, overlapped), kSuccess);
        ASSERT_EQ(port.SetHandshaking(HandshakeOff), kSuccess); // no XON/XOFF among the bytes
        // Bytes a cooked tty would change or act on, then more than one read of the driver holds.
        std::string bytes = "A\r\n\n\r\x03\x04\x11\x13\x1a\x7f\xff\x00Z"s;
        for (int i = 0; i < 3000; ++i) {
            bytes += static_cast<char>(i * 7);
        }
        uint32_t written = 0;
        ASSERT_EQ(
            port.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), &written, nullptr, INFINITE),
            kSuccess);
        EXPECT_EQ(written, bytes.size());
        EXPECT_EQ(pty.ReceiveAtDevice(1000), bytes);
        pty.SendFromDevice(bytes);
        std::string got;
        for (int tries = 0; tries < 200 && got.size() < bytes.size(); ++tries) { // until nothing more arrives
            char buffer[16384];
            uint32_t read = 0;
            EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), kSuccess);
            got.append(buffer, read);
            std::this_thread::sleep_for(std::chrono::milliseconds(read == 0 ? 5 : 0));
        }
        EXPECT_EQ(got, bytes);

        // Empty transfers move nothing, and a missing buffer is refused.
        char buffer[16];
        std::array<uint32_t, 5> counts = {5, 5, 5, 5, 5};
        EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &counts[0], nullptr, INFINITE),
                  kSuccess); // returns at once
        EXPECT_EQ(port.WriteString("", &counts[1], nullptr, INFINITE), kSuccess);
        EXPECT_EQ(port.WriteBytes(nullptr, 0, &counts[2], nullptr, INFINITE), kSuccess);
        EXPECT_EQ(port.WriteBytes(nullptr, 4, &counts[3], nullptr, INFINITE), PortErrc::InvalidArgument);
        EXPECT_EQ(port.ReadBytes(nullptr, 4, &counts[4], nullptr, INFINITE), PortErrc::InvalidArgument);
        EXPECT_EQ(counts, (std::array<uint32_t, 5>{}));
        EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, nullptr, nullptr, INFINITE),
                  kSuccess); // null count allowed
        EXPECT_EQ(port.WriteString("ab", nullptr, nullptr, INFINITE), kSuccess);
        EXPECT_EQ(pty.ReceiveAtDevice(500), "ab");

        if (!overlapped) { // completion objects and finite time-outs are for overlapped ports only
            pty.SendFromDevice("waiting");
            SerialCompletion completion;
            for (const auto& [with, timeout] : {std::pair<SerialCompletion*, uint32_t>{&completion, INFINITE},
                                                {nullptr, 100},
                                                {&completion, 0},
                                                {nullptr, 0}}) {
                SCOPED_TRACE(timeout);
                counts = {9, 9};
                EXPECT_EQ(port.WriteBytes("x", 1, &counts[0], with, timeout),
                          PortErrc::NotPossibleOnPlainPort);
                EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &counts[1], with, timeout),
                          PortErrc::NotPossibleOnPlainPort);
                EXPECT_EQ(counts[0] + counts[1], 0u);
                EXPECT_EQ(port.WaitEvent(with, timeout), PortErrc::NotPossibleOnPlainPort);
                EXPECT_EQ(port.GetLastError(), PortErrc::NotPossibleOnPlainPort);
            }
            EXPECT_FALSE(completion.done.Wait(0));
            EXPECT_EQ(pty.ReceiveAtDevice(100), ""); // nothing went out
            EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &counts[0], nullptr, INFINITE), kSuccess);
            EXPECT_EQ(std::string(buffer, counts[0]), "waiting"); // and nothing was taken in
        }

        // A device that hangs up fails reads, writes and event waits at once.
        pty.HangUp();
        counts = {4, 4};
        EXPECT_NE(port.WriteBytes("x", 1, &counts[0], nullptr, INFINITE), kSuccess);
        EXPECT_NE(port.ReadBytes(buffer, sizeof buffer, &counts[1], nullptr, INFINITE), kSuccess);
        EXPECT_EQ(counts[0] + counts[1], 0u);
        EXPECT_NE(port.WaitEvent(nullptr, INFINITE), kSuccess); // ends instead of waiting forever
        EXPECT_EQ(port.ClosePort(), kSuccess);
    }
}

TEST_F(SerialPortTest, CompletionsReportTimedOutAndFinishedReadsWritesAndEventWaits) {
    ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), kSuccess);
    SerialCompletion completion;
    char buffer[10];
    uint32_t read = 5;
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, &completion, 50), PortErrc::TimedOut);
    EXPECT_EQ(read, 0u);
    ASSERT_TRUE(completion.done.Wait(1000));
    EXPECT_EQ(completion.result.load(), PortErrc::TimedOut);

    // Bytes that came before the time-out are not lost.
    completion.done.Reset();
    pty.SendFromDevice("abc");
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, &completion, 100), kSuccess);
    EXPECT_EQ(std::string(buffer, read), "abc");
    ASSERT_TRUE(completion.done.Wait(1000));
    EXPECT_EQ(completion.result.load(), kSuccess);
    EXPECT_EQ(completion.transferred.load(), 3u);

    pty.SendFromDevice("0123456789xyz");
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), kSuccess);
    EXPECT_EQ(std::string(buffer, read), "0123456789");
    ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutNonblocking), kSuccess); // a blocking read would wait for 10
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), kSuccess);
    EXPECT_EQ(std::string(buffer, read), "xyz"); // the rest waits for the next read

    // Event waits report arrivals and the drained output queue.
    ASSERT_EQ(port.SetEventMask(EV_RXCHAR), kSuccess);
    EXPECT_EQ(port.WaitEvent(nullptr, 30), PortErrc::TimedOut);
    EXPECT_EQ(port.GetEventType(), 0u);
    pty.SendFromDevice("z");
    EXPECT_EQ(port.WaitEvent(nullptr, 5000), kSuccess);
    EXPECT_EQ(port.GetEventType(), EV_RXCHAR);
    EXPECT_EQ(port.GetEventType(), 0u); // read and cleared

    ASSERT_EQ(port.SetEventMask(EV_TXEMPTY), kSuccess);
    completion.done.Reset();
    ASSERT_EQ(port.WriteBytes("hello", 5, nullptr, &completion, 1000), kSuccess);
    ASSERT_TRUE(completion.done.Wait(1000));
    EXPECT_EQ(completion.result.load(), kSuccess);
    EXPECT_EQ(completion.transferred.load(), 5u);
    EXPECT_EQ(port.WaitEvent(nullptr, 5000), kSuccess);
    EXPECT_EQ(port.GetEventType(), EV_TXEMPTY);
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "hello");
}

// A blocked read or event wait goes on through signals (installed without SA_RESTART, so that poll and
// epoll_wait fail with EINTR) until bytes arrive or the port closes.
TEST_F(SerialPortTest, BlockedCallsOutliveSignalsAndEndWithDataOrClose) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    char buffer[4];
    uint32_t read = 0;
    const std::function<std::error_code()> calls[] = {
        [&] { return port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE); },
        [&] { return port.WaitEvent(nullptr, INFINITE); }};
    for (const bool close : {false, true}) {
        for (const auto& call : calls) {
            SCOPED_TRACE(close ? "close" : "data");
            ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutBlocking), kSuccess);
            ASSERT_EQ(port.SetEventMask(EV_RXCHAR), kSuccess);
            std::error_code rc = PortErrc::Aborted; // neither outcome
            std::thread caller([&] { rc = call(); });
            for (int i = 0; i < 5; ++i) { // most of them find the call blocked
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ::pthread_kill(caller.native_handle(), SIGUSR1);
            }
            close ? (void)port.ClosePort() : pty.SendFromDevice("data");
            caller.join();
            EXPECT_EQ(rc, close ? std::error_code(PortErrc::NotOpen) : kSuccess);
            EXPECT_EQ(port.IsOpen(), !close);
            char rest[8]; // what the event wait left unread must not end the next call at once
            ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutNonblocking),
                      close ? std::error_code(PortErrc::NotOpen) : kSuccess);
            port.ReadBytes(rest, sizeof rest, nullptr, nullptr, INFINITE);
            ASSERT_EQ(port.IsOpen() ? kSuccess : port.OpenPort(pty.path.c_str(), 32768, 32768, true),
                      kSuccess);
        }
    }
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(std::string(buffer, 4), "data");
}

// A line whose far end stopped taking bytes: output is suspended, so writes block once nothing fits.
TEST_F(SerialPortTest, OnAStoppedLineAFiniteTimeOutEndsTheWriteAndCancelEndsAnUnlimitedOne) {
    ASSERT_EQ(::tcflow(pty.slave, TCOOFF), 0);
    const std::vector<char> message(8192, 'x');
    uint32_t written = 1;
    EXPECT_EQ(port.WriteBytes(message.data(), 8192, &written, nullptr, 200), PortErrc::TimedOut);
    EXPECT_EQ(written, 0u);

    std::error_code code;
    std::atomic<bool> ended{false};
    std::thread writer([&] {
        code = port.WriteBytes(message.data(), 8192, nullptr, nullptr, INFINITE);
        ended = true;
    });
    // Cancel until the writer has left: the first cancel may come before its write started waiting.
    for (int tries = 0; tries < 500 && !ended; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(port.CancelIo(), kSuccess);
    }
    writer.join();
    EXPECT_EQ(code, PortErrc::Aborted);
    // A cancel affects only what waits at that moment: the next write times out as usual.
    EXPECT_EQ(port.WriteBytes(message.data(), 8192, &written, nullptr, 50), PortErrc::TimedOut);
    ::tcflow(pty.slave, TCOON);
    EXPECT_EQ(port.WriteBytes("ok", 2, &written, nullptr, 1000), kSuccess);
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "ok");
}

TEST_F(SerialPortTest, APortHeldByAnyoneElseIsBusyUntilReleasedAndAnOpenPortRefusesASecondOpen) {
    PtyPair otherPty;
    CSerialPort& first = port;
    CSerialPort second;
    EXPECT_EQ(second.OpenPort(pty.path.c_str(), 0, 0, true), Errno(EBUSY));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.GetLastError(), Errno(EBUSY));
    // An open port refuses another open and goes on working as set up.
    EXPECT_EQ(first.OpenPort(otherPty.path.c_str(), 0, 0, true), PortErrc::AlreadyOpen);
    EXPECT_EQ(first.GetEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR); // the mask the first open set
    ASSERT_EQ(first.SetEventMask(EV_TXEMPTY), kSuccess);
    ASSERT_EQ(first.SetEventChar('\n', true), kSuccess); // an event character adds its event to the mask
    EXPECT_EQ(first.GetEventChar(), '\n');
    EXPECT_EQ(first.GetEventMask(), EV_TXEMPTY | EV_RXFLAG);
    EXPECT_EQ(first.WriteBytes("ok", 2, nullptr, nullptr, INFINITE), kSuccess);
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "ok");
    EXPECT_EQ(otherPty.ReceiveAtDevice(0), "");

    // Another program takes the same lock on its own open of the device.
    const int other = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0); // root passes TIOCEXCL; the lock must still keep it out
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(first.ClosePort(), kSuccess);
    // Once it holds the lock, the port is busy for us.
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(second.OpenPort(pty.path.c_str(), 0, 0, false), Errno(EBUSY));
    close(other);
    EXPECT_EQ(second.OpenPort(pty.path.c_str(), 0, 0, false), kSuccess);
}

TEST(SerialOpen, FailedOpensLeaveTheObjectClosedWithNothingHeldAndEveryDeviceOperationRefused) {
    CTempDir dir;
    const std::string file = dir.Write("not-a-tty", "");
    const std::pair<const char*, std::error_code> cases[] = {{"/dev/brenwick-no-such-device", Errno(ENOENT)},
                                                             {"", Errno(ENOENT)},
                                                             {nullptr, Errno(ENOENT)},
                                                             {file.c_str(), Errno(ENOTTY)}};
    const size_t descriptors = OpenDescriptorCount();
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name != nullptr ? name : "(null)");
        CSerialPort port;
        EXPECT_EQ(port.OpenPort(name, 0, 0, true), expected);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.GetLastError(), expected);
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
        // Every device operation is refused.
        char buffer[8];
        uint32_t counts[3] = {9, 9, 9};
        EXPECT_EQ(port.ClosePort(), kSuccess);
        for (const std::error_code& rc :
             {port.SetupLine(9600, 8, 0, 0), port.SetEventChar('x', true), port.SetEventMask(1),
              port.WaitEvent(nullptr, INFINITE), port.SetHandshaking(0), port.SetReadTimeoutMode(0),
              port.WriteBytes("x", 1, &counts[0], nullptr, INFINITE),
              port.WriteString("x", &counts[1], nullptr, INFINITE),
              port.ReadBytes(buffer, sizeof buffer, &counts[2], nullptr, INFINITE)}) {
            EXPECT_EQ(rc, PortErrc::NotOpen);
        }
        EXPECT_EQ(counts[0] + counts[1] + counts[2], 0u);
        for (int32_t value : {port.GetBaudRate(), port.GetDataBits(), port.GetParity(), port.GetStopBits(),
                              port.GetHandshaking()}) {
            EXPECT_EQ(value, -1);
        }
        EXPECT_EQ(port.GetLastError(), PortErrc::NotOpen);
        EXPECT_EQ(port.GetEventMask(), 0u);
        EXPECT_EQ(port.GetEventChar(), 0);
        EXPECT_EQ(port.GetEventType(), 0u);
    }
}

} // namespace
