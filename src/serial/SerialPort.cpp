// The parts of the serial port that are the same on every system: argument checks, settings the object
// keeps itself, the events and line errors it hands on, arrival accounting.
#include "serial/SerialPort.h"

namespace brenwick::serial {

template <typename Value>
Value CSerialPort::GetStoredSetting(const std::atomic<Value>& setting) {
    if (!IsOpen()) {
        m_LastError.store(ERROR_INVALID_HANDLE);
        return 0;
    }
    m_LastError.store(0);
    return setting.load();
}

uint32_t CSerialPort::GetEventMask() {
    return GetStoredSetting(m_EventMask);
}

char CSerialPort::GetEventChar() {
    return GetStoredSetting(m_EventChar);
}

uint32_t CSerialPort::GetEventType() {
    return m_Events.exchange(0) & m_EventMask.load();
}

uint32_t CSerialPort::TakeLineErrors() {
    std::lock_guard errors(m_ErrorMutex);
    const uint32_t taken = m_PendingErrors;
    m_PendingErrors = 0;
    return taken;
}

int32_t CSerialPort::WriteString(const char* text, uint32_t* written, SerialCompletion* completion,
                                 uint32_t timeout) {
    uint32_t length = 0;
    while (text != nullptr && text[length] != '\0') {
        ++length;
    }
    return WriteBytes(text, length, written, completion, timeout);
}

int32_t CSerialPort::CheckTransfer(const DeviceUse& use, const void* buffer, uint32_t size,
                                   const SerialCompletion* completion, uint32_t timeout) const {
    if (!use.Open()) {
        return ERROR_INVALID_HANDLE;
    }
    if (RefusesCall(completion, timeout)) {
        return ERROR_INVALID_FUNCTION;
    }
    return buffer == nullptr && size != 0 ? EINVAL : 0;
}

uint32_t CSerialPort::CountArrivals(uint64_t waiting) {
    const uint64_t arrivals = m_BytesTaken + waiting;
    if (waiting == 0 || arrivals <= m_ArrivalsSeen) {
        return 0;
    }
    m_ArrivalsSeen = arrivals;
    return EV_RXCHAR;
}

} // namespace brenwick::serial
