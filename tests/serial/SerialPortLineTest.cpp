// Line settings, exclusivity and opening, checked on real pseudo-terminals, with stty as an independent
// reader of the settings.
#include "support/PtyPair.h"
#include "serial/SerialPort.h"
#include "support/RunCommand.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

using namespace brenwick::serial;

using namespace brenwick;

namespace {

// The program's baud table (entry 0 is never used).
constexpr int32_t kBaudTable[] = {1200,  2400,  4800,   9600,   14400,  19200, 38400,
                                  56000, 57600, 115200, 128000, 230400, 256000};

bool IsStandardRate(int32_t baud) {
    return baud != 14400 && baud != 56000 && baud != 128000 && baud != 256000;
}

// The settings as stty prints them (`stty -a`).
std::string SttySettings(const std::string& path) {
    const CommandResult r = RunCommand("stty -F " + path + " -a");
    return r.out + r.err;
}

bool HasWord(const std::string& stty, const std::string& word) {
    std::istringstream in(stty);
    std::string token;
    while (in >> token) {
        if (!token.empty() && token.back() == ';') {
            token.pop_back();
        }
        if (token == word) {
            return true;
        }
    }
    return false;
}

class SerialLineTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(port.OpenPort(pty.path.c_str(), 32768, 32768, true), 0); }
    PtyPair pty;
    CSerialPort port;
};

TEST_F(SerialLineTest, EveryTableBaudRateIsSetExactly) {
    for (int32_t baud : kBaudTable) {
        SCOPED_TRACE(baud);
        ASSERT_EQ(port.SetupLine(baud, 8, ParityNone, StopBitsOne), 0);
        EXPECT_EQ(port.GetBaudRate(), baud);
        EXPECT_EQ(KernelOutputSpeed(pty.slave), static_cast<uint32_t>(baud));
        EXPECT_EQ(port.GetDataBits(), 8);
        EXPECT_EQ(port.GetParity(), ParityNone);
        EXPECT_EQ(port.GetStopBits(), StopBitsOne);
    }
}

TEST_F(SerialLineTest, SttyReadsBackStandardRatesAndRawMode) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "the port holds the tty exclusively; only root can open it a second time for stty";
    }
    for (int32_t baud : kBaudTable) {
        if (!IsStandardRate(baud)) {
            continue;
        }
        SCOPED_TRACE(baud);
        ASSERT_EQ(port.SetupLine(baud, 8, ParityNone, StopBitsOne), 0);
        const std::string stty = SttySettings(pty.path);
        EXPECT_NE(stty.find("speed " + std::to_string(baud) + " baud"), std::string::npos) << stty;
        for (const char* word : {"cs8", "-parenb", "-cstopb", "-inpck", "-icanon", "-echo", "-isig", "-opost",
                                 "-icrnl", "cread", "clocal"}) {
            EXPECT_TRUE(HasWord(stty, word)) << word << " missing in: " << stty;
        }
    }
}

// A pseudo-terminal forces 8 data bits and no parity generation (CS8, PARENB off) whatever it is told; the
// flags below are the ones it keeps, so stty shows whether each code reached the kernel. The complete
// code-to-flag mapping is checked without a device in LineCodesTest.
struct LineCase {
    int32_t dataBits;
    int32_t parity;
    int32_t stopBits;
    std::vector<std::string> sttyWords;
};

TEST_F(SerialLineTest, ParityAndStopBitCodesReachTheKernel) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "the port holds the tty exclusively; only root can open it a second time for stty";
    }
    const LineCase cases[] = {
        {8, ParityNone, StopBitsOne, {"-parodd", "-cmspar", "-inpck", "-cstopb"}},
        {8, ParityOdd, StopBitsOne, {"parodd", "-cmspar", "inpck", "-cstopb"}},
        {8, ParityEven, StopBitsOne, {"-parodd", "-cmspar", "inpck"}},
        {8, ParityMark, StopBitsOne, {"parodd", "cmspar", "inpck"}},
        {8, ParitySpace, StopBitsOne, {"-parodd", "cmspar", "inpck"}},
        {8, ParityNone, StopBitsTwo, {"-inpck", "cstopb"}},
        {7, ParityEven, StopBitsTwo, {"inpck", "cstopb"}},
        {5, ParityNone, StopBitsOneAndHalf, {"cstopb"}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.dataBits << " bits, parity " << c.parity << ", stop " << c.stopBits);
        ASSERT_EQ(port.SetupLine(19200, c.dataBits, c.parity, c.stopBits), 0);
        EXPECT_EQ(port.GetBaudRate(), 19200);
        const std::string stty = SttySettings(pty.path);
        for (const std::string& word : c.sttyWords) {
            EXPECT_TRUE(HasWord(stty, word)) << word << " missing in: " << stty;
        }
    }
}

TEST_F(SerialLineTest, ImpossibleLineSettingsAreRefusedAndChangeNothing) {
    ASSERT_EQ(port.SetupLine(9600, 8, ParityNone, StopBitsOne), 0);
    const struct {
        int32_t baud, dataBits, parity, stopBits;
    } bad[] = {{0, 8, 0, 0},
               {-9600, 8, 0, 0},
               {9600, 9, 0, 0},
               {9600, 4, 0, 0},
               {9600, 8, 5, 0},
               {9600, 8, -1, 0},
               {9600, 8, 0, 3},
               {9600, 8, 0, StopBitsOneAndHalf},
               {9600, 5, 0, StopBitsTwo}};
    for (const auto& b : bad) {
        SCOPED_TRACE(testing::Message()
                     << b.baud << " " << b.dataBits << " " << b.parity << " " << b.stopBits);
        EXPECT_EQ(port.SetupLine(b.baud, b.dataBits, b.parity, b.stopBits), EINVAL);
        EXPECT_EQ(port.GetLastError(), EINVAL);
        EXPECT_EQ(port.GetBaudRate(), 9600);
        EXPECT_EQ(port.GetStopBits(), StopBitsOne);
    }
}

TEST_F(SerialLineTest, HandshakingModesSetFlowControlAndReadBack) {
    const struct {
        int32_t mode;
        std::vector<std::string> words;
    } cases[] = {
        {HandshakeHardware, {"crtscts", "-ixon", "-ixoff"}},
        {HandshakeSoftware, {"-crtscts", "ixon", "ixoff"}},
        {HandshakeOff, {"-crtscts", "-ixon", "-ixoff"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(port.SetHandshaking(c.mode), 0);
        EXPECT_EQ(port.GetHandshaking(), c.mode);
        if (geteuid() == 0) {
            const std::string stty = SttySettings(pty.path);
            for (const std::string& word : c.words) {
                EXPECT_TRUE(HasWord(stty, word)) << word << " missing in: " << stty;
            }
        }
    }
}

TEST_F(SerialLineTest, ModesOutsideTheEnumerationAreRefused) {
    ASSERT_EQ(port.SetHandshaking(HandshakeSoftware), 0);
    for (int32_t mode : {3, -1, 100}) {
        EXPECT_EQ(port.SetHandshaking(mode), E_INVALIDARG);
        EXPECT_EQ(port.GetLastError(), E_INVALIDARG);
        EXPECT_EQ(port.GetHandshaking(), HandshakeSoftware);
    }
    // The read mode stays non-blocking: a read of nothing still returns at once.
    for (int32_t mode : {2, -1, 100}) {
        EXPECT_EQ(port.SetReadTimeoutMode(mode), E_INVALIDARG);
        char byte = 0;
        uint32_t read = 7;
        EXPECT_EQ(port.ReadBytes(&byte, 1, &read, nullptr, INFINITE), 0);
        EXPECT_EQ(read, 0u);
    }
}

TEST_F(SerialLineTest, EventMaskAndEventCharAreKept) {
    EXPECT_EQ(port.GetEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR); // the mask an open sets
    ASSERT_EQ(port.SetEventMask(133), 0);
    EXPECT_EQ(port.GetEventMask(), 133u);
    ASSERT_EQ(port.SetEventChar('\n', true), 0);
    EXPECT_EQ(port.GetEventChar(), '\n');
    EXPECT_EQ(port.GetEventMask(), 133u | EV_RXFLAG);
    ASSERT_EQ(port.SetEventChar('#', false), 0);
    EXPECT_EQ(port.GetEventMask(), 133u | EV_RXFLAG);
}

TEST(SerialOpen, SecondOpenOfTheSameDeviceFailsUntilTheFirstCloses) {
    PtyPair pty;
    CSerialPort first;
    CSerialPort second;
    ASSERT_EQ(first.OpenPort(pty.path.c_str(), 0, 0, true), 0);
    EXPECT_EQ(second.OpenPort(pty.path.c_str(), 0, 0, true), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.GetLastError(), EBUSY);

    // Another program takes the same lock on its own open of the device.
    const int other = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0); // root passes TIOCEXCL; the lock must still keep it out
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);

    ASSERT_EQ(first.ClosePort(), 0);
    EXPECT_EQ(second.OpenPort(pty.path.c_str(), 0, 0, false), 0);
}

TEST(SerialOpen, DeviceLockedByAnotherProgramIsBusy) {
    PtyPair pty;
    const int other = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    CSerialPort port;
    EXPECT_EQ(port.OpenPort(pty.path.c_str(), 0, 0, true), EBUSY);
    EXPECT_FALSE(port.IsOpen());
    close(other);
    EXPECT_EQ(port.OpenPort(pty.path.c_str(), 0, 0, true), 0);
}

TEST(SerialOpen, OpenOnAnOpenPortIsRefusedAndLeavesItWorking) {
    PtyPair pty;
    PtyPair otherPty;
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pty.path.c_str(), 0, 0, true), 0);
    EXPECT_EQ(port.OpenPort(otherPty.path.c_str(), 0, 0, true), ERROR_ALREADY_INITIALIZED);
    uint32_t written = 0;
    EXPECT_EQ(port.WriteBytes("ok", 2, &written, nullptr, INFINITE), 0);
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "ok");
    EXPECT_EQ(otherPty.ReceiveAtDevice(0), "");
}

TEST(SerialOpen, FailedOpensLeaveTheObjectClosedWithNothingHeld) {
    char fileName[] = "/tmp/brenwick_not_a_tty_XXXXXX";
    const int file = mkstemp(fileName);
    ASSERT_GE(file, 0);
    close(file);
    const struct {
        const char* name;
        int32_t expected;
    } cases[] = {
        {"/dev/brenwick-no-such-device", ENOENT},
        {"", ENOENT},
        {nullptr, ENOENT},
        {fileName, ENOTTY},
    };
    const size_t descriptors = OpenDescriptorCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
        CSerialPort port;
        EXPECT_EQ(port.OpenPort(c.name, 0, 0, true), c.expected);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.GetLastError(), c.expected);
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
    }
    unlink(fileName);
}

TEST(SerialOpen, ClosedPortRefusesEveryDeviceOperation) {
    CSerialPort port;
    char buffer[8];
    uint32_t count = 99;
    EXPECT_EQ(port.ClosePort(), 0);
    EXPECT_EQ(port.SetupLine(9600, 8, 0, 0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.SetEventChar('x', true), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.SetEventMask(1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.WaitEvent(nullptr, INFINITE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.SetHandshaking(0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.SetReadTimeoutMode(0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.WriteBytes("x", 1, &count, nullptr, INFINITE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    count = 99;
    EXPECT_EQ(port.WriteString("x", &count, nullptr, INFINITE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    count = 99;
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &count, nullptr, INFINITE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    for (int32_t value : {port.GetBaudRate(), port.GetDataBits(), port.GetParity(), port.GetStopBits(),
                          port.GetHandshaking()}) {
        EXPECT_EQ(value, -1);
    }
    EXPECT_EQ(port.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.GetEventMask(), 0u);
    EXPECT_EQ(port.GetEventChar(), 0);
    EXPECT_EQ(port.GetEventType(), 0u);
}

} // namespace
