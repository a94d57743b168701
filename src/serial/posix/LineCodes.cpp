#include "serial/posix/LineCodes.h"

#include "serial/SerialTypes.h"

#include <termios.h>

namespace brenwick::serial {

namespace serial_detail {
namespace {

constexpr uint32_t kDataBitCodes[] = {CS5, CS6, CS7, CS8};
constexpr uint32_t kParityFlags[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};

constexpr uint32_t Bits(uint32_t flags) {
    return flags;
}

} // namespace

void EncodeLine(LineState& state, int32_t dataBits, int32_t parity, int32_t stopBits) {
    state.cflag &= ~Bits(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    state.cflag |= kDataBitCodes[dataBits - 5] | kParityFlags[parity];
    if (stopBits != StopBitsOne) {
        state.cflag |= CSTOPB;
    }
    if (parity != ParityNone) {
        state.iflag |= INPCK;
    } else {
        state.iflag &= ~Bits(INPCK);
    }
}

int32_t DecodeDataBits(const LineState& state) {
    for (int32_t bits = 5; bits <= 8; ++bits) {
        if ((state.cflag & CSIZE) == kDataBitCodes[bits - 5]) {
            return bits;
        }
    }
    return 8;
}

int32_t DecodeParity(const LineState& state) {
    if ((state.iflag & INPCK) == 0 || (state.cflag & PARENB) == 0) {
        return ParityNone;
    }
    const bool odd = (state.cflag & PARODD) != 0;
    if ((state.cflag & CMSPAR) != 0) {
        return odd ? ParityMark : ParitySpace;
    }
    return odd ? ParityOdd : ParityEven;
}

int32_t DecodeStopBits(const LineState& state) {
    if ((state.cflag & CSTOPB) == 0) {
        return StopBitsOne;
    }
    return (state.cflag & CSIZE) == CS5 ? StopBitsOneAndHalf : StopBitsTwo;
}

void EncodeFlow(LineState& state, const FlowControl& flow) {
    state.cflag &= ~Bits(CRTSCTS);
    state.iflag &= ~Bits(IXON | IXOFF);
    if (flow.ctsFlow) {
        state.cflag |= CRTSCTS;
    }
    if (flow.xonXoff) {
        state.iflag |= IXON | IXOFF;
    }
}

FlowControl DecodeFlow(const LineState& state) {
    FlowControl flow;
    flow.ctsFlow = (state.cflag & CRTSCTS) != 0;
    flow.xonXoff = (state.iflag & IXON) != 0 && (state.iflag & IXOFF) != 0;
    return flow;
}

void MakeRaw(LineState& state) {
    state.iflag &= ~Bits(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL);
    state.oflag &= ~Bits(OPOST);
    state.lflag &= ~Bits(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    state.cflag |= CREAD | CLOCAL;
    state.cc[VMIN] = 1;
    state.cc[VTIME] = 0;
}

} // namespace serial_detail

} // namespace brenwick::serial
