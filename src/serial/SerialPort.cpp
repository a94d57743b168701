// The parts of the serial port that are the same on every system: argument checks, settings the object
// keeps itself, the events and line errors it hands on, arrival accounting.
#include "serial/SerialPort.h"

namespace brenwick::serial {

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    CloseDevice();
}

int32_t CSerialPort::ClosePort() {
    m_LastError.store(0);
    CloseDevice();
    return 0;
}

void CSerialPort::PublishDevice(DeviceHandle device, bool overlapped) {
    {
        std::lock_guard errors(m_ErrorMutex);
        m_PendingErrors = 0;
    }
    {
        std::lock_guard rx(m_RxMutex);
        m_BytesTaken = 0;
        m_ArrivalsSeen = 0;
    }
    m_Events.store(0);
    m_EventMask.store(0);
    m_EventChar.store(0);
    m_ReadMode.store(ReadTimeoutNonblocking);
    m_TxPending.store(false);
    m_HungUp.store(false);
    m_Overlapped.store(overlapped);
    m_Handle.store(device); // last: from here on other threads use the device
}

int32_t CSerialPort::SetEventMask(uint32_t mask) {
    m_LastError.store(0);
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    if (const int32_t rc = ApplyEventMask(use.Device(), mask); rc != 0) {
        return Finish(rc);
    }
    m_EventMask.store(mask);
    // A pending event wait ends without events and the next one uses the new mask.
    m_MaskSerial.fetch_add(1);
    Wake();
    return 0;
}

int32_t CSerialPort::SetEventChar(char eventChar, bool adjustMask) {
    m_LastError.store(0);
    if (!IsOpen()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    int32_t maskResult = 0;
    if (adjustMask) {
        maskResult = SetEventMask(GetEventMask() | EV_RXFLAG);
    }
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    if (const int32_t rc = WriteEventChar(use.Device(), eventChar); rc != 0) {
        return Finish(rc);
    }
    m_EventChar.store(eventChar);
    return Finish(maskResult);
}

int32_t CSerialPort::SetReadTimeoutMode(int32_t mode) {
    m_LastError.store(0);
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    if (mode != ReadTimeoutNonblocking && mode != ReadTimeoutBlocking) {
        return Finish(E_INVALIDARG);
    }
    if (const int32_t rc = ApplyReadMode(use.Device(), mode); rc != 0) {
        return Finish(rc);
    }
    m_ReadMode.store(mode);
    return 0;
}

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

int32_t CSerialPort::WriteBytes(const void* buffer, uint32_t length, uint32_t* written,
                                SerialCompletion* completion, uint32_t timeout) {
    uint32_t unused = 0;
    uint32_t& count = written != nullptr ? *written : unused;
    count = 0;
    m_LastError.store(0);
    DeviceUse use(*this);
    if (const int32_t refused = CheckTransfer(use, buffer, length, completion, timeout); refused != 0) {
        return Finish(refused);
    }
    uint32_t done = 0;
    int32_t rc = WriteToDevice(use.Device(), static_cast<const char*>(buffer), length, timeout, done);
    // Bytes the driver took are reported even when the rest failed: the caller must not send them twice.
    if (done > 0) {
        rc = 0;
    }
    count = done;
    CompleteWith(completion, rc, done);
    return Finish(rc);
}

int32_t CSerialPort::ReadBytes(void* buffer, uint32_t capacity, uint32_t* read, SerialCompletion* completion,
                               uint32_t timeout) {
    uint32_t unused = 0;
    uint32_t& count = read != nullptr ? *read : unused;
    count = 0;
    m_LastError.store(0);
    DeviceUse use(*this);
    if (const int32_t refused = CheckTransfer(use, buffer, capacity, completion, timeout); refused != 0) {
        return Finish(refused);
    }
    uint32_t done = 0;
    int32_t rc = ReadFromDevice(use.Device(), static_cast<char*>(buffer), capacity, timeout, done);
    // Bytes already taken from the driver are handed over even when the wait for the rest failed.
    if (done > 0) {
        rc = 0;
    }
    count = done;
    CompleteWith(completion, rc, done);
    return Finish(rc);
}

int32_t CSerialPort::WaitEvent(SerialCompletion* completion, uint32_t timeout) {
    m_LastError.store(0);
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    if (RefusesCall(completion, timeout)) {
        return Finish(ERROR_INVALID_FUNCTION);
    }
    const int32_t rc = WaitLineEvents(use.Device(), timeout);
    CompleteWith(completion, rc, 0);
    return Finish(rc);
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
