// Reads, writes and waits for line events with overlapped Win32 I/O.
#include "base/win32/UniqueHandle.h"
#include "serial/Deadline.h"
#include "serial/PortErrors.h"
#include "serial/SerialPort.h"
#include "serial/win32/CommCalls.h"
#include "serial/win32/SystemPort.h"
#include "serial/win32/WindowsApi.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace brenwick::serial {

namespace {

// How long a cancelled operation may take to end. A driver that has not let go by then never will: the
// operation is given up (its memory stays with the driver) and the port counts as gone.
constexpr DWORD kCollectLimitMs = 1000;

// An overlapped operation in flight: its own event, the structure the driver writes into, and the bytes and
// events it moves, all owned here until the driver has let go of them. Ending it early (time-out, cancel,
// close) cancels it and waits a bounded time for the driver; a driver that does not let go keeps the
// operation for good (see Abandon), so that it never writes into memory that is gone.
class Operation {
  public:
    explicit Operation(uint32_t size = 0)
        : m_Event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_Bytes(size) {
        m_Overlapped.hEvent = m_Event.Get();
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    ~Operation() = default;

    bool Valid() const { return m_Event.Valid(); }
    OVERLAPPED* Overlapped() { return &m_Overlapped; }
    HANDLE Event() const { return m_Event.Get(); }
    char* Bytes() { return m_Bytes.data(); }
    DWORD* Events() { return &m_Events; }
    // Cancels it and waits, bounded, until the driver is done: the outcome as for Collect, or the code of a
    // driver that never let go (the operation must then be abandoned).
    std::error_code CancelAndCollect(HANDLE device, DWORD& count) {
        Comm().cancelIoEx.load()(device, &m_Overlapped);
        if (::WaitForSingleObject(m_Event.Get(), kCollectLimitMs) != WAIT_OBJECT_0) {
            m_Stuck = true;
            return SystemCode(ERROR_GEN_FAILURE);
        }
        return Collect(device, count);
    }
    // The result of an operation that has ended: nothing, or its code (a cancel is ERROR_OPERATION_ABORTED).
    std::error_code Collect(HANDLE device, DWORD& count) {
        return ::GetOverlappedResult(device, &m_Overlapped, &count, FALSE) != 0 ? std::error_code()
                                                                                : LastDeviceCode();
    }
    bool Stuck() const { return m_Stuck; }

  private:
    UniqueHandle m_Event;
    OVERLAPPED m_Overlapped{};
    std::vector<char> m_Bytes;
    DWORD m_Events = 0;
    bool m_Stuck = false;
};

// Keeps an operation the driver never let go of for as long as the process lives.
void Abandon(std::unique_ptr<Operation> op) {
    static std::mutex lock;
    static std::vector<std::unique_ptr<Operation>> abandoned;
    const std::lock_guard guard(lock);
    abandoned.push_back(std::move(op));
}

bool Aborted(std::error_code code) {
    return code == std::error_code(static_cast<int>(ERROR_OPERATION_ABORTED), std::system_category());
}

// What the driver reports about the line: bytes waiting, bytes not yet sent, and the error bits (CE_),
// which this call clears.
struct LineStatus {
    uint32_t errors = 0;
    uint64_t waiting = 0;
    uint64_t queuedOut = 0;
};

std::error_code ReadLineStatus(HANDLE device, LineStatus& status) {
    DWORD errors = 0;
    COMSTAT stat{};
    if (Comm().clearCommError.load()(device, &errors, &stat) == 0) {
        return LastDeviceCode();
    }
    status.errors = static_cast<uint32_t>(errors);
    status.waiting = stat.cbInQue;
    status.queuedOut = stat.cbOutQue;
    return {};
}

// The line events that go with error bits.
uint32_t EventsOfErrors(uint32_t errors) {
    uint32_t events = 0;
    if ((errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER)) != 0) {
        events |= EV_ERR;
    }
    if ((errors & CE_BREAK) != 0) {
        events |= EV_BREAK;
    }
    return events;
}

// A driver may end an event wait early without events (Wine does so on a line without modem signals); the
// port then looks at the line itself after pauses that grow to this.
constexpr DWORD kRecheckMaxMs = 4;

} // namespace

std::error_code CSerialPort::CancelIo() {
    m_LastError.store({});
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(PortErrc::NotOpen);
    }
    std::lock_guard lock(m_System->transferMutex);
    m_CancelSerial.fetch_add(1);
    for (OVERLAPPED* overlapped : m_System->transfers) {
        Comm().cancelIoEx.load()(use.Device(), overlapped);
    }
    return {};
}

std::error_code CSerialPort::SystemPort::RunTransfer(CSerialPort& port, HANDLE device, bool write,
                                                     void* buffer, uint32_t length, uint32_t timeout,
                                                     uint64_t startSerial, uint32_t& moved) {
    moved = 0;
    // The bytes travel through the operation's own buffer: a driver that never lets go of it must not
    // write into, or send from, the caller's memory after the call.
    auto op = std::make_unique<Operation>(length);
    if (!op->Valid()) {
        return LastCode();
    }
    if (write) {
        std::memcpy(op->Bytes(), buffer, length);
    }
    DWORD count = 0;
    {
        // Started under the lock that CancelIo takes: a cancel either comes before (and is seen here) or
        // finds the transfer in the list.
        std::lock_guard lock(transferMutex);
        if (port.m_CancelSerial.load() != startSerial) {
            return PortErrc::Aborted;
        }
        const BOOL done =
            write ? Comm().writeFile.load()(device, op->Bytes(), length, nullptr, op->Overlapped())
                  : Comm().readFile.load()(device, op->Bytes(), length, nullptr, op->Overlapped());
        if (done == 0 && ::GetLastError() != ERROR_IO_PENDING) {
            const std::error_code code = LastDeviceCode();
            if (DeviceGone(code)) {
                port.m_HungUp.store(true);
            }
            return code;
        }
        transfers.push_back(op->Overlapped());
    }
    const HANDLE waits[2] = {op->Event(), closeEvent.Get()};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, timeout);
    std::error_code rc;
    std::error_code ended;
    if (woke == WAIT_OBJECT_0) {
        ended = op->Collect(device, count);
    } else {
        rc = woke == WAIT_OBJECT_0 + 1 ? PortErrc::NotOpen
             : woke == WAIT_TIMEOUT    ? PortErrc::TimedOut
                                       : LastCode();
        ended = op->CancelAndCollect(device, count);
    }
    if (ended && (!rc || op->Stuck())) {
        // CancelIo ended it, the driver failed it, or the driver did not let go of it after a cancel.
        rc = Aborted(ended) ? std::error_code(PortErrc::Aborted) : ended;
    }
    {
        std::lock_guard lock(transferMutex);
        std::erase(transfers, op->Overlapped());
    }
    if (op->Stuck()) {
        count = 0;
        Abandon(std::move(op));
    } else if (!write) {
        std::memcpy(buffer, op->Bytes(), std::min<DWORD>(count, length));
    }
    moved = std::min<DWORD>(count, length);
    if (DeviceGone(rc)) {
        port.m_HungUp.store(true);
    }
    return rc;
}

std::error_code CSerialPort::WriteToDevice(DeviceHandle device, const char* bytes, uint32_t length,
                                           uint32_t timeout, uint32_t& done) {
    if (length == 0) {
        return {};
    }
    const std::error_code rc = m_System->RunTransfer(*this, device, true, const_cast<char*>(bytes), length,
                                                     timeout, m_CancelSerial.load(), done);
    if (done > 0) {
        m_TxPending.store(true);
        Wake(); // the event wait watches the output queue drain
    }
    return rc;
}

std::error_code CSerialPort::ReadFromDevice(DeviceHandle device, char* bytes, uint32_t capacity,
                                            uint32_t timeout, uint32_t& done) {
    const uint64_t startSerial = m_CancelSerial.load();
    std::error_code rc;
    if (m_ReadMode.load() == ReadTimeoutNonblocking) {
        // Only what has arrived is asked for, so the read returns at once on every driver. The count of
        // waiting bytes and the read that takes them stay together for the arrival accounting.
        std::lock_guard rx(m_RxMutex);
        LineStatus status;
        rc = ReadLineStatus(device, status);
        if (!rc) {
            {
                std::lock_guard errors(m_ErrorMutex);
                m_PendingErrors |= status.errors;
            }
            const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(capacity, status.waiting));
            if (wanted > 0) {
                rc = m_System->RunTransfer(*this, device, false, bytes, wanted, timeout, startSerial, done);
            }
            m_BytesTaken += done;
        } else if (DeviceGone(rc)) {
            m_HungUp.store(true);
        }
    } else if (capacity > 0) {
        rc = m_System->RunTransfer(*this, device, false, bytes, capacity, timeout, startSerial, done);
        std::lock_guard rx(m_RxMutex);
        m_BytesTaken += done;
    }
    return rc;
}

bool CSerialPort::SystemPort::PauseForWake(const CSerialPort& port, uint32_t ms, uint64_t maskSerial,
                                           std::error_code& rc) {
    const HANDLE waits[2] = {closeEvent.Get(), wakeEvent.Get()};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, ms);
    if (woke == WAIT_OBJECT_0) {
        rc = PortErrc::NotOpen;
        return false;
    }
    if (woke == WAIT_OBJECT_0 + 1 && port.m_MaskSerial.load() != maskSerial) {
        rc.clear();
        return false;
    }
    return true;
}

std::error_code CSerialPort::WaitLineEvents(DeviceHandle device, uint32_t timeout) {
    const CDeadline deadline(timeout);
    // Wake-ups from before this wait are stale; the mask read after clearing is the one in force.
    ::ResetEvent(m_System->wakeEvent.Get());
    const uint64_t armed = m_ArmedSerial.exchange(kNotArmed);
    const uint64_t maskSerial = armed != kNotArmed ? armed : m_MaskSerial.load();
    m_Events.store(0);
    if (m_MaskSerial.load() != maskSerial) {
        return {}; // the mask changed after the caller armed this wait
    }
    DWORD pauseMs = 1;
    for (;;) {
        if (m_HungUp.load()) {
            return SystemCode(ERROR_GEN_FAILURE);
        }
        uint32_t reported = 0;
        const std::error_code rc = m_System->WaitForDeviceEvents(
            *this, device, static_cast<DWORD>(deadline.RemainingMs()), reported);
        if (rc || (reported == 0 && m_MaskSerial.load() != maskSerial)) {
            return rc; // closed, timed out, device gone, or the mask changed (no events)
        }
        // Arrivals and a drained output queue are judged from the driver's counts, so that a driver that
        // reports them again for the same bytes posts nothing new.
        uint32_t events = CollectDeviceEvents(device) | (reported & ~(EV_RXCHAR | EV_TXEMPTY));
        if (m_HungUp.load()) {
            return SystemCode(ERROR_GEN_FAILURE);
        }
        events &= m_EventMask.load();
        if (events != 0) {
            m_Events.store(events);
            return {};
        }
        // Nothing new: the driver ended the wait early. Look again after a short pause that a close or a
        // mask change cuts short.
        const auto left = static_cast<DWORD>(deadline.RemainingMs()); // -1 is INFINITE
        if (left == 0) {
            return PortErrc::TimedOut;
        }
        std::error_code ended;
        if (!m_System->PauseForWake(*this, std::min(pauseMs, left), maskSerial, ended)) {
            return ended;
        }
        pauseMs = std::min<DWORD>(pauseMs * 2, kRecheckMaxMs);
    }
}

std::error_code CSerialPort::SystemPort::WaitForDeviceEvents(CSerialPort& port, HANDLE device,
                                                             uint32_t timeoutMs, uint32_t& events) {
    events = 0;
    auto op = std::make_unique<Operation>();
    if (!op->Valid()) {
        return LastCode();
    }
    DWORD count = 0;
    std::error_code rc;
    if (Comm().waitCommEvent.load()(device, op->Events(), op->Overlapped()) != 0) {
        events = static_cast<uint32_t>(*op->Events());
        return {};
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        rc = LastDeviceCode();
    } else {
        const HANDLE waits[3] = {op->Event(), closeEvent.Get(), wakeEvent.Get()};
        const DWORD woke = ::WaitForMultipleObjects(3, waits, FALSE, timeoutMs);
        if (woke == WAIT_OBJECT_0) {
            rc = op->Collect(device, count);
            if (!rc) {
                events = static_cast<uint32_t>(*op->Events());
            } else if (Aborted(rc)) {
                rc.clear(); // a mask change, or a driver that ends waits early: the caller looks at the line
            }
        } else {
            const std::error_code ended = op->CancelAndCollect(device, count);
            rc = woke == WAIT_OBJECT_0 + 1   ? PortErrc::NotOpen
                 : op->Stuck()               ? ended
                 : woke == WAIT_OBJECT_0 + 2 ? std::error_code() // woken: a mask change or a finished write
                 : woke == WAIT_TIMEOUT      ? std::error_code(PortErrc::TimedOut)
                                             : LastCode();
        }
    }
    if (op->Stuck()) {
        Abandon(std::move(op));
    }
    if (DeviceGone(rc)) {
        port.m_HungUp.store(true);
    }
    return rc;
}

uint32_t CSerialPort::CollectDeviceEvents(DeviceHandle device) {
    uint32_t events = 0;
    LineStatus status;
    std::error_code rc;
    {
        std::lock_guard rx(m_RxMutex);
        rc = ReadLineStatus(device, status);
        if (!rc) {
            events |= CountArrivals(status.waiting);
        }
    }
    if (rc) {
        if (DeviceGone(rc)) {
            m_HungUp.store(true);
        }
        return 0;
    }
    if (m_TxPending.load() && status.queuedOut == 0) {
        m_TxPending.store(false);
        events |= EV_TXEMPTY;
    }
    std::lock_guard errors(m_ErrorMutex);
    m_PendingErrors |= status.errors;
    return events | EventsOfErrors(status.errors);
}

} // namespace brenwick::serial
