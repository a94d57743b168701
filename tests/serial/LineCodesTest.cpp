// The line codes as termios flags, independent of what a particular driver accepts.
#include "serial/LineCodes.h"

#include "serial/SerialTypes.h"

#include <gtest/gtest.h>
#include <termios.h>

using namespace brenwick::serial;

namespace {

using serial_detail::LineState;

struct ParityCase {
    int32_t parity;
    uint32_t cflags; // among PARENB, PARODD, CMSPAR
    bool checking;   // INPCK
};

constexpr ParityCase kParityCases[] = {{ParityNone, 0, false},
                                       {ParityOdd, PARENB | PARODD, true},
                                       {ParityEven, PARENB, true},
                                       {ParityMark, PARENB | PARODD | CMSPAR, true},
                                       {ParitySpace, PARENB | CMSPAR, true}};

struct FrameCase {
    int32_t dataBits;
    uint32_t size;
    int32_t stopBits;
    bool cstopb;
};

constexpr FrameCase kFrameCases[] = {
    {5, CS5, StopBitsOne, false}, {5, CS5, StopBitsOneAndHalf, true}, {6, CS6, StopBitsOne, false},
    {6, CS6, StopBitsTwo, true},  {7, CS7, StopBitsTwo, true},        {8, CS8, StopBitsOne, false},
    {8, CS8, StopBitsTwo, true},
};

TEST(SerialLineCodes, EveryParityAndFrameCodeGivesItsFlagsAndReadsBack) {
    for (const ParityCase& p : kParityCases) {
        for (const FrameCase& f : kFrameCases) {
            SCOPED_TRACE(testing::Message()
                         << "parity " << p.parity << ", " << f.dataBits << " bits, stop " << f.stopBits);
            ASSERT_TRUE(serial_detail::ValidLine(9600, f.dataBits, p.parity, f.stopBits));
            LineState state;
            // Start from the opposite of what is wanted, so that every flag must be both set and cleared.
            state.cflag = PARENB | PARODD | CMSPAR | CSTOPB | CS7 | CREAD;
            state.iflag = INPCK | IXON;
            serial_detail::EncodeLine(state, f.dataBits, p.parity, f.stopBits);
            EXPECT_EQ(state.cflag & (PARENB | PARODD | CMSPAR), p.cflags);
            EXPECT_EQ((state.iflag & INPCK) != 0, p.checking);
            EXPECT_EQ(state.cflag & CSIZE, f.size);
            EXPECT_EQ((state.cflag & CSTOPB) != 0, f.cstopb);
            EXPECT_EQ(state.cflag & CREAD, static_cast<uint32_t>(CREAD)); // other settings stay
            EXPECT_EQ(state.iflag & IXON, static_cast<uint32_t>(IXON));
            EXPECT_EQ(serial_detail::DecodeParity(state), p.parity);
            EXPECT_EQ(serial_detail::DecodeDataBits(state), f.dataBits);
            EXPECT_EQ(serial_detail::DecodeStopBits(state), f.stopBits);
        }
    }
    LineState unchecked; // parity generated but not checked reads as none
    unchecked.cflag = PARENB | PARODD | CS8;
    EXPECT_EQ(serial_detail::DecodeParity(unchecked), ParityNone);
}

TEST(SerialLineCodes, HandshakingModesSetFlowControlAndLines) {
    const struct {
        int32_t mode;
        bool crtscts;
        bool xonXoff;
        bool raiseLines;
    } cases[] = {{HandshakeOff, false, false, false},
                 {HandshakeHardware, true, false, true},
                 {HandshakeSoftware, false, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        LineState state;
        state.cflag = CRTSCTS | CS8;
        state.iflag = IXON | IXOFF | IXANY;
        EXPECT_EQ(serial_detail::EncodeHandshaking(state, c.mode), c.raiseLines);
        EXPECT_EQ((state.cflag & CRTSCTS) != 0, c.crtscts);
        EXPECT_EQ((state.iflag & IXON) != 0, c.xonXoff);
        EXPECT_EQ((state.iflag & IXOFF) != 0, c.xonXoff);
        EXPECT_NE(state.iflag & IXANY, 0u); // XON/XOFF details stay as they were
        EXPECT_EQ(serial_detail::DecodeHandshaking(state), c.mode);
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

} // namespace
