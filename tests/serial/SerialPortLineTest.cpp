// Line settings, exclusivity and opening, checked on real pseudo-terminals, with stty as an independent
// reader of the settings.
#include "serial/SerialPort.h"
#include "support/PtyPair.h"
#include "support/RunCommand.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

using namespace brenwick::serial;

namespace {

// Checks that `stty -a` shows each of `words` (a phrase such as "speed 9600 baud" counts as one). The port
// holds the tty exclusively; only root can open it a second time for stty, so others check nothing here.
void ExpectStty(const std::string& path, const std::vector<std::string>& words) {
    if (geteuid() != 0 || words.empty()) {
        return;
    }
    std::istringstream in(RunCommand("stty -F " + path + " -a").out);
    std::string settings = " ";
    for (std::string token; in >> token;) {
        settings += (token.back() == ';' ? token.substr(0, token.size() - 1) : token) + " ";
    }
    for (const std::string& word : words) {
        EXPECT_NE(settings.find(" " + word + " "), std::string::npos) << word << " missing in:" << settings;
    }
}

class SerialLineTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(port.OpenPort(pty.path.c_str(), 32768, 32768, true), 0); }
    PtyPair pty;
    CSerialPort port;
};

TEST_F(SerialLineTest, EveryTableBaudRateIsSetExactlyInRawMode) {
    for (int32_t baud :
         {1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 230400, 256000}) {
        SCOPED_TRACE(baud);
        ASSERT_EQ(port.SetupLine(baud, 8, ParityNone, StopBitsOne), 0);
        EXPECT_EQ(port.GetBaudRate(), baud);
        EXPECT_EQ(KernelOutputSpeed(pty.slave), static_cast<uint32_t>(baud));
        std::vector<std::string> words = {"cs8",   "-parenb", "-cstopb", "-inpck", "-icanon", "-echo",
                                          "-isig", "-opost",  "-icrnl",  "cread",  "clocal"};
        if (baud != 14400 && baud != 56000 && baud != 128000 && baud != 256000) { // stty names standard ones
            words.push_back("speed " + std::to_string(baud) + " baud");
        }
        ExpectStty(pty.path, words);
    }
}

TEST_F(SerialLineTest, ImpossibleLineSettingsAreRefusedAndChangeNothing) {
    ASSERT_EQ(port.SetupLine(9600, 8, ParityNone, StopBitsOne), 0);
    // Baud, data bits, parity, stop bits (1: one and a half, only with 5 data bits; 2: two, not with 5).
    const int32_t bad[][4] = {
        {0, 8, 0, 0},     {-9600, 8, 0, 0}, {9600, 9, 0, 0}, {9600, 4, 0, 0}, {9600, 8, 5, 0},
        {9600, 8, -1, 0}, {9600, 8, 0, 3},  {9600, 8, 0, 1}, {9600, 5, 0, 2},
    };
    for (const auto& [baud, bits, parity, stop] : bad) {
        SCOPED_TRACE(testing::Message() << baud << " " << bits << " " << parity << " " << stop);
        EXPECT_EQ(port.SetupLine(baud, bits, parity, stop), EINVAL);
        EXPECT_EQ(port.GetLastError(), EINVAL);
        EXPECT_EQ(port.GetBaudRate(), 9600);
        EXPECT_EQ(port.GetStopBits(), StopBitsOne);
    }
}

// A pseudo-terminal forces 8 data bits and no parity generation (CS8, PARENB off) whatever it is told; the
// flags checked are the ones it keeps, so stty shows whether each code reached the kernel. The complete
// code-to-flag mapping is checked without a device in LineCodesTest.
TEST_F(SerialLineTest, ParityAndStopBitCodesReachTheKernel) {
    const struct {
        int32_t dataBits, parity, stopBits;
        std::vector<std::string> sttyWords;
    } cases[] = {
        {8, ParityNone, StopBitsOne, {"-parodd", "-cmspar", "-inpck", "-cstopb"}},
        {8, ParityOdd, StopBitsOne, {"parodd", "-cmspar", "inpck", "-cstopb"}},
        {8, ParityEven, StopBitsOne, {"-parodd", "-cmspar", "inpck"}},
        {8, ParityMark, StopBitsOne, {"parodd", "cmspar", "inpck"}},
        {8, ParitySpace, StopBitsOne, {"-parodd", "cmspar", "inpck"}},
        {8, ParityNone, StopBitsTwo, {"-inpck", "cstopb"}},
        {7, ParityEven, StopBitsTwo, {"inpck", "cstopb"}},
        {5, ParityNone, StopBitsOneAndHalf, {"cstopb"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.dataBits << " bits, parity " << c.parity << ", stop " << c.stopBits);
        ASSERT_EQ(port.SetupLine(19200, c.dataBits, c.parity, c.stopBits), 0);
        EXPECT_EQ(port.GetBaudRate(), 19200);
        ExpectStty(pty.path, c.sttyWords);
    }
}

TEST_F(SerialLineTest, HandshakingModesSetFlowControlAndOthersAreRefused) {
    const std::pair<int32_t, std::vector<std::string>> cases[] = {
        {HandshakeHardware, {"crtscts", "-ixon", "-ixoff"}},
        {HandshakeOff, {"-crtscts", "-ixon", "-ixoff"}},
        {HandshakeSoftware, {"-crtscts", "ixon", "ixoff"}}};
    for (const auto& [mode, sttyWords] : cases) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(port.SetHandshaking(mode), 0);
        EXPECT_EQ(port.GetHandshaking(), mode);
        ExpectStty(pty.path, sttyWords);
    }
    // The first value past each enumeration and some far outside change nothing; reads stay non-blocking.
    for (const auto& [handshake, readMode] : {std::pair{3, 2}, {-1, -1}, {100, 100}}) {
        EXPECT_EQ(port.SetHandshaking(handshake), E_INVALIDARG);
        EXPECT_EQ(port.GetLastError(), E_INVALIDARG);
        EXPECT_EQ(port.GetHandshaking(), HandshakeSoftware);
        EXPECT_EQ(port.SetReadTimeoutMode(readMode), E_INVALIDARG);
        char byte = 0;
        uint32_t read = 7;
        EXPECT_EQ(port.ReadBytes(&byte, 1, &read, nullptr, INFINITE), 0);
        EXPECT_EQ(read, 0u);
    }
}

TEST(SerialOpen, APortHeldByAnyoneElseIsBusyUntilReleased) {
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
    ASSERT_EQ(first.ClosePort(), 0);
    // Once it holds the lock, the port is busy for us.
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(second.OpenPort(pty.path.c_str(), 0, 0, false), EBUSY);
    close(other);
    EXPECT_EQ(second.OpenPort(pty.path.c_str(), 0, 0, false), 0);
}

TEST(SerialOpen, OpenOnAnOpenPortIsRefusedAndLeavesItWorkingAsSetUp) {
    PtyPair pty;
    PtyPair otherPty;
    CSerialPort port;
    ASSERT_EQ(port.OpenPort(pty.path.c_str(), 0, 0, true), 0);
    EXPECT_EQ(port.OpenPort(otherPty.path.c_str(), 0, 0, true), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(port.GetEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR); // the mask the first open set
    ASSERT_EQ(port.SetEventMask(EV_TXEMPTY), 0);
    ASSERT_EQ(port.SetEventChar('\n', true), 0); // an event character adds its event to the mask
    EXPECT_EQ(port.GetEventChar(), '\n');
    EXPECT_EQ(port.GetEventMask(), EV_TXEMPTY | EV_RXFLAG);
    EXPECT_EQ(port.WriteBytes("ok", 2, nullptr, nullptr, INFINITE), 0);
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
        {"/dev/brenwick-no-such-device", ENOENT}, {"", ENOENT}, {nullptr, ENOENT}, {fileName, ENOTTY}};
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
    uint32_t counts[3] = {9, 9, 9};
    EXPECT_EQ(port.ClosePort(), 0);
    for (int32_t rc : {port.SetupLine(9600, 8, 0, 0), port.SetEventChar('x', true), port.SetEventMask(1),
                       port.WaitEvent(nullptr, INFINITE), port.SetHandshaking(0), port.SetReadTimeoutMode(0),
                       port.WriteBytes("x", 1, &counts[0], nullptr, INFINITE),
                       port.WriteString("x", &counts[1], nullptr, INFINITE),
                       port.ReadBytes(buffer, sizeof buffer, &counts[2], nullptr, INFINITE)}) {
        EXPECT_EQ(rc, ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(counts[0] + counts[1] + counts[2], 0u);
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
