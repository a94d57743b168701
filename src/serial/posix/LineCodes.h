#pragma once

#include "serial/LineSettings.h"
#include "serial/posix/LineState.h"

#include <cstdint>

namespace brenwick::serial {

namespace serial_detail {

// The program's line codes (data bits 5..8, parity 0..4, stop-bit codes 0..2, flow control) written into
// and read from termios flags.

// Sets data bits, parity (with parity checking exactly when the line carries parity) and stop bits.
void EncodeLine(LineState& state, int32_t dataBits, int32_t parity, int32_t stopBits);
int32_t DecodeDataBits(const LineState& state);
int32_t DecodeParity(const LineState& state); // 0 when parity checking is off
int32_t DecodeStopBits(const LineState& state);

// CTS flow control and XON/XOFF; the modem lines are not termios flags. Decoding leaves raiseLines unset.
void EncodeFlow(LineState& state, const FlowControl& flow);
FlowControl DecodeFlow(const LineState& state);

// No echo, no line editing, no translation, no signals; receiver on, modem lines ignored for opening.
void MakeRaw(LineState& state);

} // namespace serial_detail

} // namespace brenwick::serial
