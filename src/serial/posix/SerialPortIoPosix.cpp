// Reads, writes and waits for line events.
#include "serial/Deadline.h"
#include "serial/SerialPort.h"
#include "serial/posix/SerialErrno.h"
#include "serial/posix/SystemPort.h"

#include <algorithm>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace brenwick::serial {

namespace {

void DrainCounter(int fd) {
    uint64_t value = 0;
    while (read(fd, &value, sizeof value) > 0) {
    }
}

// What a transfer waits on besides the device: the close signal, and the cancel signal with the count of
// cancels it started under (a cancel from before it started is stale and only drained).
struct TransferSignals {
    int closeFd;
    int cancelFd;
    const std::atomic<uint64_t>& cancelSerial;
    uint64_t startSerial;

    bool Cancelled() const { return cancelSerial.load() != startSerial; }
};

// Waits until the device is ready for `events`: nothing, or TimedOut, NotOpen when the port closes
// meanwhile, Aborted when the transfer is cancelled, or the code of a failed wait.
std::error_code WaitReady(int fd, const TransferSignals& signals, short events, const CDeadline& deadline) {
    for (;;) {
        if (signals.Cancelled()) {
            return PortErrc::Aborted;
        }
        pollfd fds[3] = {{fd, events, 0}, {signals.closeFd, POLLIN, 0}, {signals.cancelFd, POLLIN, 0}};
        const int n = poll(fds, 3, deadline.RemainingMs());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastSerialError();
        }
        if (n == 0) {
            return PortErrc::TimedOut;
        }
        if (fds[1].revents != 0) {
            return PortErrc::NotOpen;
        }
        if (fds[2].revents != 0) {
            if (signals.Cancelled()) {
                return PortErrc::Aborted;
            }
            DrainCounter(signals.cancelFd);
            if (fds[0].revents == 0) {
                continue;
            }
        }
        return {}; // also on hang-up or error: the next call reports it
    }
}

// How long until the driver should have sent what it holds: ten bit times per byte at the current rate, at
// least 1 ms, at most 100 ms between looks; 0 once it is empty.
int DrainWaitMs(int fd, uint32_t baud) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) {
        return 0;
    }
    const uint64_t ms = static_cast<uint64_t>(queued) * 10000u / std::max<uint32_t>(baud, 50) + 1;
    return static_cast<int>(std::min<uint64_t>(ms, 100));
}

} // namespace

std::error_code CSerialPort::CancelIo() {
    m_LastError.store({});
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(PortErrc::NotOpen);
    }
    m_CancelSerial.fetch_add(1);
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t signalled = write(m_System->cancel.Get(), &one, sizeof one);
    return {};
}

std::error_code CSerialPort::WriteToDevice(DeviceHandle fd, const char* bytes, uint32_t length,
                                           uint32_t timeout, uint32_t& done) {
    const CDeadline deadline(timeout);
    const TransferSignals signals{m_System->closing.Get(), m_System->cancel.Get(), m_CancelSerial,
                                  m_CancelSerial.load()};
    std::error_code rc;
    do {
        const ssize_t n = write(fd, bytes + done, length - done);
        if (n >= 0) {
            done += static_cast<uint32_t>(n);
            if (n > 0) {
                m_TxPending.store(true);
                Wake(); // the event wait watches the output queue drain
            }
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            rc = LastSerialError();
            break;
        }
        rc = WaitReady(fd, signals, POLLOUT, deadline);
    } while (done < length && !rc);
    return rc;
}

std::error_code CSerialPort::ReadFromDevice(DeviceHandle fd, char* bytes, uint32_t capacity, uint32_t timeout,
                                            uint32_t& done) {
    const bool blocking = m_ReadMode.load() == ReadTimeoutBlocking;
    const CDeadline deadline(timeout);
    const TransferSignals signals{m_System->closing.Get(), m_System->cancel.Get(), m_CancelSerial,
                                  m_CancelSerial.load()};
    std::error_code rc;
    while (done < capacity && !rc) {
        ssize_t n = 0;
        {
            std::lock_guard rx(m_RxMutex);
            n = ::read(fd, bytes + done, capacity - done);
            if (n > 0) {
                m_BytesTaken += static_cast<uint64_t>(n);
            }
        }
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n == 0) {
            rc = SystemError(EIO); // a tty reads end-of-file only once it has been hung up
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            rc = LastSerialError();
            break;
        }
        if (!blocking) {
            break;
        }
        rc = WaitReady(fd, signals, POLLIN, deadline);
    }
    return rc;
}

std::error_code CSerialPort::WaitLineEvents(int fd, uint32_t timeout) {
    const CDeadline deadline(timeout);
    const int wakeFd = m_System->wake.Get();
    const int closeFd = m_System->closing.Get();
    // Wake-ups from before this wait are stale; the mask read after draining is the one in force.
    DrainCounter(wakeFd);
    const uint64_t armed = m_ArmedSerial.exchange(kNotArmed);
    const uint64_t maskSerial = armed != kNotArmed ? armed : m_MaskSerial.load();
    m_Events.store(0);
    if (m_MaskSerial.load() != maskSerial) {
        return {}; // the mask changed after the caller armed this wait
    }
    for (;;) {
        if (m_HungUp.load()) {
            return SystemError(EIO);
        }
        uint32_t events = 0;
        int waitMs = deadline.RemainingMs();
        if (m_TxPending.load()) {
            const int drainMs = DrainWaitMs(fd, m_Baud.load());
            if (drainMs == 0) {
                m_TxPending.store(false);
                events |= EV_TXEMPTY;
            } else if (waitMs < 0 || drainMs < waitMs) {
                // The driver does not wake anybody when its queue runs empty: look again when it should be.
                waitMs = drainMs;
            }
        }
        if ((events & m_EventMask.load()) != 0) {
            m_Events.store(events);
            return {};
        }

        epoll_event ready[3];
        const int n = epoll_wait(m_System->epoll.Get(), ready, 3, waitMs);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastSerialError();
        }
        bool maskChanged = false;
        bool deviceWoke = false;
        for (int i = 0; i < n; ++i) {
            if (ready[i].data.fd == closeFd) {
                return PortErrc::NotOpen;
            }
            if (ready[i].data.fd == wakeFd) {
                DrainCounter(wakeFd);
                maskChanged = maskChanged || m_MaskSerial.load() != maskSerial;
            } else {
                deviceWoke = true;
                if ((ready[i].events & (EPOLLHUP | EPOLLERR)) != 0) {
                    m_HungUp.store(true);
                }
            }
        }
        if (deviceWoke) {
            events |= CollectDeviceEvents(fd);
        }
        // Arrivals are edge-triggered: report them now or they are lost, also when the mask just changed.
        events &= m_EventMask.load();
        if (events != 0 || maskChanged) {
            m_Events.store(events);
            return {};
        }
        if (m_HungUp.load()) {
            return SystemError(EIO);
        }
        if (n == 0 && deadline.RemainingMs() == 0) {
            return PortErrc::TimedOut;
        }
    }
}

uint32_t CSerialPort::CollectDeviceEvents(int fd) {
    uint32_t events = 0;
    {
        std::lock_guard rx(m_RxMutex);
        int waiting = 0;
        if (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
            events |= CountArrivals(static_cast<uint64_t>(waiting));
        }
    }
    std::lock_guard errors(m_ErrorMutex);
    serial_detail::ErrorCounters now;
    if (m_System->hasCounters && serial_detail::ReadErrorCounters(fd, now)) {
        const serial_detail::LineErrorReport report =
            serial_detail::LineErrorsBetween(m_System->counters, now);
        m_System->counters = now;
        m_PendingErrors |= report.errors;
        events |= report.events;
    }
    return events;
}

} // namespace brenwick::serial
