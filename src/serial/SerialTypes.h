#pragma once

#include <cstdint>
#include <system_error>

#if defined(_WIN32)
#include "serial/win32/UndefWindowsNames.h"
#endif

namespace brenwick::serial {

// Numbers shared by the serial layer and its callers. The event bits keep the values the rest of the program
// tests for (they travel to the view inside a notification).

inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;

// The layer's own errors. Errors the system reports travel in std::system_category() (errno values on
// POSIX, Win32 error codes on Windows): the category, not the number, tells them apart.
enum class PortErrc {
    NotPossibleOnPlainPort = 1, // completion object or finite time-out on a port opened for plain I/O
    NotOpen,                    // also: the port closed during the call
    Aborted,                    // CancelIo ended the transfer
    AlreadyOpen,
    TimedOut,
    InvalidArgument, // refused by the argument checks every system shares
};

const std::error_category& PortCategory();
inline std::error_code make_error_code(PortErrc code) {
    return {static_cast<int>(code), PortCategory()};
}

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

template <>
struct std::is_error_code_enum<brenwick::serial::PortErrc> : std::true_type {};
