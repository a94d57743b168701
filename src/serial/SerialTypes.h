#pragma once

#include <cstdint>

#if defined(_WIN32)
#include "serial/win32/UndefWindowsNames.h"
#endif

namespace brenwick::serial {

// Numbers shared by the serial layer and its callers. The error codes and event bits keep the values the
// rest of the program tests for (the event bits travel to the view inside a notification). Errors reported
// by the operating system are errno values; the few errno values that would collide with the program's own
// codes are reported as their nearest non-colliding equivalent (see SerialErrno.h).

inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;

// Error codes.
inline constexpr int32_t ERROR_SUCCESS = 0;
inline constexpr int32_t ERROR_INVALID_FUNCTION = 1; // completion object or finite time-out on a plain port
inline constexpr int32_t ERROR_INVALID_HANDLE = 6;   // the port is not open
inline constexpr int32_t ERROR_OPERATION_ABORTED = 995; // CancelIo ended the transfer
inline constexpr int32_t ERROR_ALREADY_INITIALIZED = 1247;
inline constexpr int32_t ERROR_TIMEOUT = 1460;
inline constexpr int32_t E_INVALIDARG = static_cast<int32_t>(0x80070057u);

// Line event bits (mask of SetEventMask, events of a wait, low word of a notification).
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;

// Line error bits (high word of a notification).
inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;
inline constexpr uint32_t CE_TXFULL = 0x0100;
inline constexpr uint32_t CE_MODE = 0x8000;

enum Handshaking : int32_t { HandshakeOff = 0, HandshakeHardware = 1, HandshakeSoftware = 2 };
enum ReadTimeoutMode : int32_t { ReadTimeoutNonblocking = 0, ReadTimeoutBlocking = 1 };

// Data bits of SetupLine: 5 to 8; the device protocol uses eight.
inline constexpr int32_t DataBits8 = 8;
// Parity codes of SetupLine: 0 none, 1 odd, 2 even, 3 mark, 4 space. Stop-bit codes: 0 one, 1 one and a
// half (five data bits only), 2 two.
inline constexpr int32_t ParityNone = 0;
inline constexpr int32_t ParityOdd = 1;
inline constexpr int32_t ParityEven = 2;
inline constexpr int32_t ParityMark = 3;
inline constexpr int32_t ParitySpace = 4;
inline constexpr int32_t StopBitsOne = 0;
inline constexpr int32_t StopBitsOneAndHalf = 1;
inline constexpr int32_t StopBitsTwo = 2;

} // namespace brenwick::serial
