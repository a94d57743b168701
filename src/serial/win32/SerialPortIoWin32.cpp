// Reads, writes and waits for line events with overlapped Win32 I/O.
#include "base/win32/UniqueHandle.h"
#include "serial/Deadline.h"
#include "serial/PortErrors.h"
#include "serial/SerialPort.h"
#include "serial/win32/SystemPort.h"
#include "serial/win32/WindowsApi.h"

#include <algorithm>

namespace brenwick::serial {

namespace {

// An overlapped operation in flight: its own event, and the structure the driver writes into until the
// operation has ended. Ending it early (time-out, cancel, close) cancels it and waits for the driver to let
// go of the structure, so nothing outlives the call.
class Operation {
  public:
    Operation() : m_Event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        m_Overlapped.hEvent = m_Event.Get();
    }
    bool Valid() const { return m_Event.Valid(); }
    OVERLAPPED* Overlapped() { return &m_Overlapped; }
    HANDLE Event() const { return m_Event.Get(); }
    // Cancels it and waits until the driver is done; false with the code when it failed.
    bool CancelAndCollect(HANDLE device, DWORD& count) {
        ::CancelIoEx(device, &m_Overlapped);
        return Collect(device, count);
    }
    bool Collect(HANDLE device, DWORD& count) {
        return ::GetOverlappedResult(device, &m_Overlapped, &count, TRUE) != 0;
    }

  private:
    UniqueHandle m_Event;
    OVERLAPPED m_Overlapped{};
};

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
    if (::ClearCommError(device, &errors, &stat) == 0) {
        return LastCode();
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
        ::CancelIoEx(use.Device(), overlapped);
    }
    return {};
}

std::error_code CSerialPort::SystemPort::RunTransfer(CSerialPort& port, HANDLE device, bool write,
                                                     void* buffer, uint32_t length, uint32_t timeout,
                                                     uint64_t startSerial, uint32_t& moved) {
    moved = 0;
    Operation op;
    if (!op.Valid()) {
        return LastCode();
    }
    DWORD count = 0;
    {
        // Started under the lock that CancelIo takes: a cancel either comes before (and is seen here) or
        // finds the transfer in the list.
        std::lock_guard lock(transferMutex);
        if (port.m_CancelSerial.load() != startSerial) {
            return PortErrc::Aborted;
        }
        const BOOL done = write ? ::WriteFile(device, buffer, length, nullptr, op.Overlapped())
                                : ::ReadFile(device, buffer, length, nullptr, op.Overlapped());
        if (done == 0 && ::GetLastError() != ERROR_IO_PENDING) {
            return LastCode();
        }
        transfers.push_back(op.Overlapped());
    }
    const HANDLE waits[2] = {op.Event(), closeEvent.Get()};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, timeout);
    std::error_code rc;
    bool collected = false;
    if (woke == WAIT_OBJECT_0) {
        collected = op.Collect(device, count);
    } else {
        rc = woke == WAIT_OBJECT_0 + 1 ? PortErrc::NotOpen
             : woke == WAIT_TIMEOUT    ? PortErrc::TimedOut
                                       : LastCode();
        collected = op.CancelAndCollect(device, count);
    }
    if (!collected && !rc) {
        // CancelIo ended it, or the driver failed it.
        rc = ::GetLastError() == ERROR_OPERATION_ABORTED ? PortErrc::Aborted : LastCode();
    }
    {
        std::lock_guard lock(transferMutex);
        std::erase(transfers, op.Overlapped());
    }
    moved = count;
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
    Operation op;
    if (!op.Valid()) {
        return LastCode();
    }
    DWORD reported = 0;
    DWORD count = 0;
    if (::WaitCommEvent(device, &reported, op.Overlapped()) != 0) {
        events = static_cast<uint32_t>(reported);
        return {};
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        const std::error_code code = LastCode();
        if (DeviceGone(code)) {
            port.m_HungUp.store(true);
        }
        return code;
    }
    const HANDLE waits[3] = {op.Event(), closeEvent.Get(), wakeEvent.Get()};
    const DWORD woke = ::WaitForMultipleObjects(3, waits, FALSE, timeoutMs);
    if (woke == WAIT_OBJECT_0) {
        if (op.Collect(device, count)) {
            events = static_cast<uint32_t>(reported);
            return {};
        }
        if (::GetLastError() == ERROR_OPERATION_ABORTED) {
            return {}; // a mask change, or a driver that ends waits early: the caller looks at the line
        }
        const std::error_code code = LastCode();
        if (DeviceGone(code)) {
            port.m_HungUp.store(true);
        }
        return code;
    }
    op.CancelAndCollect(device, count);
    if (woke == WAIT_OBJECT_0 + 1) {
        return PortErrc::NotOpen;
    }
    if (woke == WAIT_OBJECT_0 + 2) {
        return {}; // woken: the caller tells a mask change from a finished write
    }
    return woke == WAIT_TIMEOUT ? PortErrc::TimedOut : LastCode();
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
