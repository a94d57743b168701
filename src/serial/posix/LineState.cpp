// The kernel's termios2 interface; this file must not include <termios.h>, whose struct termios differs.
#include "serial/posix/LineState.h"

#include "serial/posix/SerialErrno.h"

#include <asm/termbits.h>
#include <cstring>
#include <sys/ioctl.h>

namespace brenwick::serial {

namespace serial_detail {
namespace {

struct SpeedCode {
    uint32_t baud;
    tcflag_t code;
};

constexpr SpeedCode kStandardSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

void ToKernel(const LineState& from, termios2& to) {
    std::memset(&to, 0, sizeof to);
    to.c_iflag = from.iflag;
    to.c_oflag = from.oflag;
    to.c_cflag = from.cflag;
    to.c_lflag = from.lflag;
    static_assert(sizeof from.cc == sizeof to.c_cc);
    std::memcpy(to.c_cc, from.cc, sizeof to.c_cc);
    to.c_ispeed = from.ispeed;
    to.c_ospeed = from.ospeed;
}

void FromKernel(const termios2& from, LineState& to) {
    to.iflag = from.c_iflag;
    to.oflag = from.c_oflag;
    to.cflag = from.c_cflag;
    to.lflag = from.c_lflag;
    std::memcpy(to.cc, from.c_cc, sizeof to.cc);
    to.ispeed = from.c_ispeed;
    to.ospeed = from.c_ospeed;
}

} // namespace

std::error_code ReadLineState(int fd, LineState& state) {
    termios2 kernel{};
    if (ioctl(fd, TCGETS2, &kernel) != 0) {
        return LastSerialError();
    }
    FromKernel(kernel, state);
    return {};
}

std::error_code WriteLineState(int fd, const LineState& state) {
    termios2 kernel{};
    ToKernel(state, kernel);
    if (ioctl(fd, TCSETS2, &kernel) != 0) {
        return LastSerialError();
    }
    return {};
}

void SetLineSpeed(LineState& state, uint32_t baud) {
    tcflag_t code = BOTHER;
    for (const SpeedCode& entry : kStandardSpeeds) {
        if (entry.baud == baud) {
            code = entry.code;
        }
    }
    // The input speed follows the output speed (no separate CIBAUD code).
    state.cflag &= ~static_cast<uint32_t>(CBAUD | CIBAUD);
    state.cflag |= code;
    state.ispeed = baud;
    state.ospeed = baud;
}

uint32_t LineSpeed(const LineState& state) {
    const tcflag_t code = state.cflag & CBAUD;
    if (code == BOTHER) {
        return state.ospeed;
    }
    for (const SpeedCode& entry : kStandardSpeeds) {
        if (entry.code == code) {
            return entry.baud;
        }
    }
    return state.ospeed;
}

} // namespace serial_detail

} // namespace brenwick::serial
