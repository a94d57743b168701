#pragma once

#include "base/UniqueFd.h"
#include "serial/SerialPort.h"
#include "serial/posix/LineErrors.h"

namespace brenwick::serial {

// Waiting for line events: an epoll set over the device, a wake-up counter (mask change, finished write)
// and a close signal that also ends blocked reads and writes.
struct CSerialPort::SystemPort {
    UniqueFd epoll;
    UniqueFd wake;
    UniqueFd closing;
    UniqueFd cancel; // signalled by CancelIo
    // The driver's error counters at the last look, guarded by m_ErrorMutex; none on many devices.
    serial_detail::ErrorCounters counters;
    bool hasCounters = false;
};

} // namespace brenwick::serial
