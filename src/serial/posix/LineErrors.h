#pragma once

#include <cstdint>

namespace brenwick::serial {

namespace serial_detail {

// The driver's running error counters (TIOCGICOUNT), for the fields the serial layer reports.
struct ErrorCounters {
    uint32_t frame = 0;
    uint32_t overrun = 0; // the UART's receive register overran
    uint32_t parity = 0;
    uint32_t brk = 0;
    uint32_t bufOverrun = 0; // the driver's input buffer overflowed
};

struct LineErrorReport {
    uint32_t events = 0; // EV_ERR, EV_BREAK
    uint32_t errors = 0; // CE_ bits
};

// What changed between two readings of the counters, as line events and line-error bits.
LineErrorReport LineErrorsBetween(const ErrorCounters& before, const ErrorCounters& after);

// Reads the counters; false where the driver keeps none (pseudo-terminals, some USB converters).
bool ReadErrorCounters(int fd, ErrorCounters& counters);

} // namespace serial_detail

} // namespace brenwick::serial
