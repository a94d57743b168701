#pragma once

#include "serial/posix/LineState.h"

#include <cstdint>

namespace brenwick::serial {

namespace serial_detail {

// The program's line codes (data bits 5..8, parity 0..4, stop-bit codes 0..2, handshaking modes) written
// into and read from termios flags.

bool ValidLine(int32_t baud, int32_t dataBits, int32_t parity, int32_t stopBits);
// Sets data bits, parity (with parity checking exactly when the line carries parity) and stop bits.
void EncodeLine(LineState& state, int32_t dataBits, int32_t parity, int32_t stopBits);
int32_t DecodeDataBits(const LineState& state);
int32_t DecodeParity(const LineState& state); // 0 when parity checking is off
int32_t DecodeStopBits(const LineState& state);

// Flow control of a valid handshaking mode; returns whether DTR and RTS are to be raised.
bool EncodeHandshaking(LineState& state, int32_t mode);
int32_t DecodeHandshaking(const LineState& state);

// No echo, no line editing, no translation, no signals; receiver on, modem lines ignored for opening.
void MakeRaw(LineState& state);

} // namespace serial_detail

} // namespace brenwick::serial
