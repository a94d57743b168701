// The parts of the serial port that are the same on every system: argument checks, what the handshaking
// modes mean, settings the object keeps itself, the events and line errors it hands on, arrival accounting.
#include "serial/SerialPort.h"

#include "serial/LineSettings.h"

namespace brenwick::serial {

using serial_detail::FlowControl;
using serial_detail::LineSettings;

namespace {

// Hardware handshaking: output waits for CTS, and DTR and RTS are raised for the far end. Software: XON/XOFF.
constexpr FlowControl kHandshakes[] = {{false, false, false}, {true, false, true}, {false, true, false}};
static_assert(HandshakeOff == 0 && HandshakeHardware == 1 && HandshakeSoftware == 2);

bool ValidLine(int32_t baud, int32_t dataBits, int32_t parity, int32_t stopBits) {
    if (baud <= 0 || dataBits < 5 || dataBits > 8 || parity < ParityNone || parity > ParitySpace) {
        return false;
    }
    // One and a half stop bits exist only with five data bits, two only with six or more.
    switch (stopBits) {
    case StopBitsOne:
        return true;
    case StopBitsOneAndHalf:
        return dataBits == 5;
    case StopBitsTwo:
        return dataBits > 5;
    default:
        return false;
    }
}

} // namespace

namespace serial_detail {

FlowControl HandshakeFlow(int32_t mode) {
    return kHandshakes[mode];
}

int32_t HandshakeOf(const FlowControl& flow) {
    if (flow.ctsFlow) {
        return HandshakeHardware;
    }
    return flow.xonXoff ? HandshakeSoftware : HandshakeOff;
}

} // namespace serial_detail

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    CloseDevice();
}

std::error_code CSerialPort::ClosePort() {
    m_LastError.store({});
    CloseDevice();
    return {};
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

std::error_code CSerialPort::SetEventMask(uint32_t mask) {
    m_LastError.store({});
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(PortErrc::NotOpen);
    }
    if (const std::error_code rc = ApplyEventMask(use.Device(), mask)) {
        return Finish(rc);
    }
    m_EventMask.store(mask);
    // A pending event wait ends without events and the next one uses the new mask.
    m_MaskSerial.fetch_add(1);
    Wake();
    return {};
}

std::error_code CSerialPort::SetupLine(int32_t baud, int32_t dataBits, int32_t parity, int32_t stopBits) {
    m_LastError.store({});
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(PortErrc::NotOpen);
    }
    if (!ValidLine(baud, dataBits, parity, stopBits)) {
        return Finish(PortErrc::InvalidArgument);
    }
    if (const std::error_code rc = ApplyLine(use.Device(), baud, dataBits, parity, stopBits)) {
        return Finish(rc);
    }
    m_Baud.store(static_cast<uint32_t>(baud));
    return {};
}

std::error_code CSerialPort::SetHandshaking(int32_t mode) {
    m_LastError.store({});
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(PortErrc::NotOpen);
    }
    if (mode < HandshakeOff || mode > HandshakeSoftware) {
        return Finish(PortErrc::InvalidArgument);
    }
    return Finish(ApplyFlowControl(use.Device(), serial_detail::HandshakeFlow(mode)));
}

std::error_code CSerialPort::SetEventChar(char eventChar, bool adjustMask) {
    m_LastError.store({});
    if (!IsOpen()) {
        return Finish(PortErrc::NotOpen);
    }
    std::error_code maskResult;
    if (adjustMask) {
        maskResult = SetEventMask(GetEventMask() | EV_RXFLAG);
    }
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(PortErrc::NotOpen);
    }
    if (const std::error_code rc = WriteEventChar(use.Device(), eventChar)) {
        return Finish(rc);
    }
    m_EventChar.store(eventChar);
    return Finish(maskResult);
}

std::error_code CSerialPort::SetReadTimeoutMode(int32_t mode) {
    m_LastError.store({});
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(PortErrc::NotOpen);
    }
    if (mode != ReadTimeoutNonblocking && mode != ReadTimeoutBlocking) {
        return Finish(PortErrc::InvalidArgument);
    }
    if (const std::error_code rc = ApplyReadMode(use.Device(), mode)) {
        return Finish(rc);
    }
    m_ReadMode.store(mode);
    return {};
}

template <typename Extract>
int32_t CSerialPort::GetLineSetting(Extract extract) {
    DeviceUse use(*this);
    LineSettings line;
    const std::error_code rc = use.Open() ? ReadLine(use.Device(), line) : PortErrc::NotOpen;
    m_LastError.store(rc);
    return rc ? -1 : extract(line);
}

int32_t CSerialPort::GetBaudRate() {
    return GetLineSetting([](const LineSettings& line) { return line.baud; });
}

int32_t CSerialPort::GetDataBits() {
    return GetLineSetting([](const LineSettings& line) { return line.dataBits; });
}

int32_t CSerialPort::GetParity() {
    return GetLineSetting([](const LineSettings& line) { return line.parity; });
}

int32_t CSerialPort::GetStopBits() {
    return GetLineSetting([](const LineSettings& line) { return line.stopBits; });
}

int32_t CSerialPort::GetHandshaking() {
    return GetLineSetting([](const LineSettings& line) { return serial_detail::HandshakeOf(line.flow); });
}

template <typename Value>
Value CSerialPort::GetStoredSetting(const std::atomic<Value>& setting) {
    if (!IsOpen()) {
        m_LastError.store(PortErrc::NotOpen);
        return 0;
    }
    m_LastError.store({});
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

std::error_code CSerialPort::WriteString(const char* text, uint32_t* written, SerialCompletion* completion,
                                         uint32_t timeout) {
    uint32_t length = 0;
    while (text != nullptr && text[length] != '\0') {
        ++length;
    }
    return WriteBytes(text, length, written, completion, timeout);
}

std::error_code CSerialPort::CheckTransfer(const DeviceUse& use, const void* buffer, uint32_t size,
                                           const SerialCompletion* completion, uint32_t timeout) const {
    if (!use.Open()) {
        return PortErrc::NotOpen;
    }
    if (RefusesCall(completion, timeout)) {
        return PortErrc::NotPossibleOnPlainPort;
    }
    if (buffer == nullptr && size != 0) {
        return PortErrc::InvalidArgument;
    }
    return {};
}

std::error_code CSerialPort::WriteBytes(const void* buffer, uint32_t length, uint32_t* written,
                                        SerialCompletion* completion, uint32_t timeout) {
    return Transfer(buffer, length, written, completion, timeout, [&](DeviceHandle device, uint32_t& done) {
        return WriteToDevice(device, static_cast<const char*>(buffer), length, timeout, done);
    });
}

std::error_code CSerialPort::ReadBytes(void* buffer, uint32_t capacity, uint32_t* read,
                                       SerialCompletion* completion, uint32_t timeout) {
    return Transfer(buffer, capacity, read, completion, timeout, [&](DeviceHandle device, uint32_t& done) {
        return ReadFromDevice(device, static_cast<char*>(buffer), capacity, timeout, done);
    });
}

template <typename Move>
std::error_code CSerialPort::Transfer(const void* buffer, uint32_t size, uint32_t* moved,
                                      SerialCompletion* completion, uint32_t timeout, Move move) {
    uint32_t unused = 0;
    uint32_t& count = moved != nullptr ? *moved : unused;
    count = 0;
    m_LastError.store({});
    DeviceUse use(*this);
    if (const std::error_code refused = CheckTransfer(use, buffer, size, completion, timeout)) {
        return Finish(refused);
    }
    uint32_t done = 0;
    std::error_code rc = move(use.Device(), done);
    // Bytes that moved are reported even when the rest failed: a writer must not send them twice, a reader
    // gets what the driver already handed over.
    if (done > 0) {
        rc.clear();
    }
    count = done;
    CompleteWith(completion, rc, done);
    return Finish(rc);
}

std::error_code CSerialPort::WaitEvent(SerialCompletion* completion, uint32_t timeout) {
    m_LastError.store({});
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(PortErrc::NotOpen);
    }
    if (RefusesCall(completion, timeout)) {
        return Finish(PortErrc::NotPossibleOnPlainPort);
    }
    const std::error_code rc = WaitLineEvents(use.Device(), timeout);
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
