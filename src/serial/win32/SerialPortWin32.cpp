// Opening, setting up and closing a serial port through the Win32 communications API.
#include "base/win32/UniqueHandle.h"
#include "base/win32/Utf16.h"
#include "serial/SerialPort.h"
#include "serial/win32/WindowsApi.h"

#include <string>

namespace brenwick::serial {

namespace {

int32_t LastCode() {
    const DWORD code = ::GetLastError();
    return code == 0 ? static_cast<int32_t>(ERROR_GEN_FAILURE) : static_cast<int32_t>(code);
}

// "COM5" becomes "\\.\COM5", which also reaches COM10 and above; a name that already is a device path stays.
std::wstring DevicePath(const std::string& name) {
    if (name.rfind("\\\\", 0) == 0) {
        return Widen(name);
    }
    return L"\\\\.\\" + Widen(name);
}

// The name the system's default configuration is kept under: the port's name without the device prefix.
std::wstring ConfigName(const std::string& name) {
    return Widen(name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name);
}

// The device's defaults as the system keeps them for this port, when it keeps any; failures change nothing.
void ApplyDefaultConfig(HANDLE device, const std::string& name) {
    COMMCONFIG config{};
    DWORD size = sizeof config;
    config.dwSize = size;
    if (::GetDefaultCommConfigW(ConfigName(name).c_str(), &config, &size) != 0) {
        ::SetCommConfig(device, &config, size);
    }
}

// Bytes go through untouched: no error replacement, no dropped NULs, and a line error does not stop
// transfers until it is cleared (the event wait collects errors instead).
void MakeRaw(DCB& dcb) {
    dcb.fBinary = TRUE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
}

// The device's line state, read afresh: 0 or the code of the failed read.
int32_t ReadState(HANDLE device, DCB& dcb) {
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    return ::GetCommState(device, &dcb) != 0 ? 0 : LastCode();
}

HANDLE NewEvent(bool manualReset) {
    return ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

} // namespace

int32_t CSerialPort::OpenPort(const char* name, uint32_t inQueue, uint32_t outQueue, bool overlapped) {
    m_LastError.store(0);
    if (IsOpen()) {
        return Finish(ERROR_ALREADY_INITIALIZED);
    }
    if (name == nullptr || *name == '\0') {
        return Finish(static_cast<int32_t>(ERROR_FILE_NOT_FOUND));
    }
    // Every port is opened for overlapped I/O: a plain port then waits without limit, but a close still
    // ends its waits.
    UniqueHandle device(::CreateFileW(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!device.Valid()) {
        return Finish(LastCode());
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(device.Get(), &dcb) == 0) {
        return Finish(static_cast<int32_t>(ERROR_NOT_SUPPORTED)); // a file or device that has no line
    }
    if ((inQueue != 0 || outQueue != 0) && ::SetupComm(device.Get(), inQueue, outQueue) == 0) {
        return Finish(LastCode());
    }
    if (const int32_t installed = InstallDevice(device.Get(), overlapped); installed != 0) {
        return Finish(installed);
    }
    device.Release();

    SetEventMask(EV_RXCHAR | EV_BREAK | EV_ERR);
    const int32_t readMode = SetReadTimeoutMode(ReadTimeoutNonblocking);
    {
        DeviceUse use(*this);
        if (use.Open()) {
            ApplyDefaultConfig(use.Device(), name);
            if (::GetCommState(use.Device(), &dcb) != 0) {
                MakeRaw(dcb);
                ::SetCommState(use.Device(), &dcb);
                m_Baud.store(dcb.BaudRate);
            }
        }
    }
    return Finish(readMode);
}

int32_t CSerialPort::InstallDevice(DeviceHandle device, bool overlapped) {
    UniqueHandle closing(NewEvent(true));
    UniqueHandle wake(NewEvent(false));
    if (!closing.Valid() || !wake.Valid()) {
        return LastCode();
    }
    std::lock_guard openClose(m_OpenCloseMutex);
    std::unique_lock io(m_IoLock);
    if (m_Handle.load() != kNoDevice) {
        return ERROR_ALREADY_INITIALIZED; // another thread opened the object meanwhile
    }
    m_CloseEvent = std::move(closing);
    m_WakeEvent = std::move(wake);
    PublishDevice(device, overlapped);
    return 0;
}

void CSerialPort::CloseDevice() {
    std::lock_guard openClose(m_OpenCloseMutex);
    HANDLE device = m_Handle.load();
    if (device == kNoDevice) {
        return;
    }
    // Calls waiting on the device see the close event, cancel their own transfer and leave; then nobody
    // uses the handle.
    ::SetEvent(m_CloseEvent.Get());
    std::unique_lock io(m_IoLock);
    m_Handle.store(kNoDevice);
    ::CloseHandle(device);
    m_CloseEvent.Reset();
    m_WakeEvent.Reset();
    m_Overlapped.store(false);
}

int32_t CSerialPort::SetupLine(int32_t baud, int32_t dataBits, int32_t parity, int32_t stopBits) {
    m_LastError.store(0);
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    DCB dcb{};
    if (const int32_t rc = ReadState(use.Device(), dcb); rc != 0) {
        return Finish(rc);
    }
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    dcb.fParity = parity != ParityNone ? TRUE : FALSE;
    if (baud <= 0) {
        return Finish(static_cast<int32_t>(ERROR_INVALID_PARAMETER));
    }
    if (::SetCommState(use.Device(), &dcb) == 0) {
        return Finish(LastCode());
    }
    m_Baud.store(static_cast<uint32_t>(baud));
    return 0;
}

int32_t CSerialPort::WriteEventChar(DeviceHandle device, char eventChar) {
    DCB dcb{};
    if (const int32_t rc = ReadState(device, dcb); rc != 0) {
        return rc;
    }
    dcb.EvtChar = eventChar;
    return ::SetCommState(device, &dcb) != 0 ? 0 : LastCode();
}

int32_t CSerialPort::ApplyEventMask(DeviceHandle device, uint32_t mask) {
    return ::SetCommMask(device, mask) != 0 ? 0 : LastCode();
}

int32_t CSerialPort::ApplyReadMode(DeviceHandle device, int32_t mode) {
    COMMTIMEOUTS timeouts{};
    if (::GetCommTimeouts(device, &timeouts) == 0) {
        return LastCode();
    }
    // Non-blocking: return at once with what has arrived. Blocking: wait for the whole count.
    timeouts.ReadIntervalTimeout = mode == ReadTimeoutNonblocking ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    return ::SetCommTimeouts(device, &timeouts) != 0 ? 0 : LastCode();
}

int32_t CSerialPort::SetHandshaking(int32_t mode) {
    m_LastError.store(0);
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    DCB dcb{};
    if (const int32_t rc = ReadState(use.Device(), dcb); rc != 0) {
        return Finish(rc);
    }
    if (mode < HandshakeOff || mode > HandshakeSoftware) {
        return Finish(E_INVALIDARG);
    }
    const bool hardware = mode == HandshakeHardware;
    const bool software = mode == HandshakeSoftware;
    dcb.fOutxCtsFlow = hardware ? TRUE : FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = hardware ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = hardware ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fOutX = software ? TRUE : FALSE;
    dcb.fInX = software ? TRUE : FALSE;
    if (::SetCommState(use.Device(), &dcb) == 0) {
        return Finish(LastCode());
    }
    return 0;
}

template <typename Extract>
int32_t CSerialPort::GetLineSetting(Extract extract) {
    DeviceUse use(*this);
    if (!use.Open()) {
        m_LastError.store(ERROR_INVALID_HANDLE);
        return -1;
    }
    DCB dcb{};
    if (const int32_t rc = ReadState(use.Device(), dcb); rc != 0) {
        m_LastError.store(rc);
        return -1;
    }
    m_LastError.store(0);
    return extract(dcb);
}

int32_t CSerialPort::GetBaudRate() {
    return GetLineSetting([](const DCB& dcb) { return static_cast<int32_t>(dcb.BaudRate); });
}

int32_t CSerialPort::GetDataBits() {
    return GetLineSetting([](const DCB& dcb) { return static_cast<int32_t>(dcb.ByteSize); });
}

int32_t CSerialPort::GetParity() {
    return GetLineSetting(
        [](const DCB& dcb) { return dcb.fParity != 0 ? static_cast<int32_t>(dcb.Parity) : 0; });
}

int32_t CSerialPort::GetStopBits() {
    return GetLineSetting([](const DCB& dcb) { return static_cast<int32_t>(dcb.StopBits); });
}

int32_t CSerialPort::GetHandshaking() {
    return GetLineSetting([](const DCB& dcb) {
        if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
            return int32_t{HandshakeHardware};
        }
        return dcb.fOutX != 0 && dcb.fInX != 0 ? int32_t{HandshakeSoftware} : int32_t{HandshakeOff};
    });
}

void CSerialPort::Wake() const {
    ::SetEvent(m_WakeEvent.Get());
}

} // namespace brenwick::serial
