#pragma once

#include <cstdint>
#include <system_error>

namespace brenwick::serial {

namespace serial_detail {

// The line settings of a tty as the kernel keeps them (struct termios2), in our own type so that callers do
// not have to mix the kernel's termios header with the C library's. The flag fields use the usual termios
// bit values (the same in both headers).
struct LineState {
    uint32_t iflag = 0;
    uint32_t oflag = 0;
    uint32_t cflag = 0;
    uint32_t lflag = 0;
    uint8_t cc[19] = {};
    uint32_t ispeed = 0;
    uint32_t ospeed = 0;
};

// Read or write the settings in one step; return nothing or the error of the failed call.
std::error_code ReadLineState(int fd, LineState& state);
std::error_code WriteLineState(int fd, const LineState& state);

// Sets input and output speed to exactly `baud`: a standard rate through its speed code (so that every tool
// reads it back), any other rate as a free number (BOTHER).
void SetLineSpeed(LineState& state, uint32_t baud);
uint32_t LineSpeed(const LineState& state);

} // namespace serial_detail

} // namespace brenwick::serial
