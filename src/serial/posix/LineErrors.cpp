#include "serial/posix/LineErrors.h"

#include "serial/SerialTypes.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace brenwick::serial {

namespace serial_detail {

LineErrorReport LineErrorsBetween(const ErrorCounters& before, const ErrorCounters& after) {
    struct Rule {
        uint32_t ErrorCounters::*counter;
        uint32_t event;
        uint32_t error;
    };
    static constexpr Rule kRules[] = {
        {&ErrorCounters::frame, EV_ERR, CE_FRAME},     {&ErrorCounters::overrun, EV_ERR, CE_OVERRUN},
        {&ErrorCounters::parity, EV_ERR, CE_RXPARITY}, {&ErrorCounters::bufOverrun, EV_ERR, CE_RXOVER},
        {&ErrorCounters::brk, EV_BREAK, CE_BREAK},
    };
    LineErrorReport report;
    for (const Rule& rule : kRules) {
        // Counters only grow; a different value (also after wrap-around) means new errors.
        if (after.*rule.counter != before.*rule.counter) {
            report.events |= rule.event;
            report.errors |= rule.error;
        }
    }
    return report;
}

bool ReadErrorCounters(int fd, ErrorCounters& counters) {
    serial_icounter_struct icount{};
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    counters.frame = static_cast<uint32_t>(icount.frame);
    counters.overrun = static_cast<uint32_t>(icount.overrun);
    counters.parity = static_cast<uint32_t>(icount.parity);
    counters.brk = static_cast<uint32_t>(icount.brk);
    counters.bufOverrun = static_cast<uint32_t>(icount.buf_overrun);
    return true;
}

} // namespace serial_detail

} // namespace brenwick::serial
