// Opening, setting up and closing a serial port through the Win32 communications API.
#include "base/win32/UniqueHandle.h"
#include "base/win32/Utf16.h"
#include "serial/LineSettings.h"
#include "serial/PortDiscovery.h"
#include "serial/SerialPort.h"
#include "serial/win32/CommCalls.h"
#include "serial/win32/SystemPort.h"
#include "serial/win32/WindowsApi.h"

#include <string>

namespace brenwick::serial {

namespace {

// "COM5" becomes "\\.\COM5", which also reaches COM10 and above; a name that already is a device path stays.
std::wstring DevicePath(const std::string& name) {
    if (name.rfind("\\\\", 0) == 0) {
        return Widen(name);
    }
    return L"\\\\.\\" + Widen(name);
}

// The name the system's default configuration is kept under: the port's name without the device prefix.
std::wstring ConfigName(const std::string& name) {
    return Widen(std::string(WithoutDevicePrefix(name)));
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

// The device's line state, read afresh: nothing or the code of the failed read.
std::error_code ReadState(HANDLE device, DCB& dcb) {
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    return Comm().getCommState.load()(device, &dcb) != 0 ? std::error_code() : LastDeviceCode();
}

std::error_code WriteState(HANDLE device, DCB& dcb) {
    return ::SetCommState(device, &dcb) != 0 ? std::error_code() : LastDeviceCode();
}

HANDLE NewEvent(bool manualReset) {
    return ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

} // namespace

void CSerialPort::SystemPortDelete::operator()(SystemPort* system) const {
    std::default_delete<SystemPort>()(system);
}

std::error_code CSerialPort::OpenPort(const char* name, uint32_t inQueue, uint32_t outQueue,
                                      bool overlapped) {
    m_LastError.store({});
    if (IsOpen()) {
        return Finish(PortErrc::AlreadyOpen);
    }
    if (name == nullptr || *name == '\0') {
        return Finish(SystemCode(ERROR_FILE_NOT_FOUND));
    }
    // Every port is opened for overlapped I/O: a plain port then waits without limit, but a close still
    // ends its waits.
    UniqueHandle device(::CreateFileW(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!device.Valid()) {
        return Finish(LastCode());
    }
    // A file or another device that has no line fails here, and so does a USB device that does not answer
    // its driver's line requests (a minimal CDC device under usbser.sys): the code tells them apart.
    DCB dcb{};
    if (const std::error_code rc = ReadState(device.Get(), dcb)) {
        return Finish(rc);
    }
    // The queue sizes are a wish that a driver may ignore or refuse (some virtual COM drivers refuse large
    // ones): a refusal leaves the driver's own sizes, which work as well.
    if (inQueue != 0 || outQueue != 0) {
        Comm().setupComm.load()(device.Get(), inQueue, outQueue);
    }
    if (const std::error_code installed = InstallDevice(device.Get(), overlapped)) {
        return Finish(installed);
    }
    device.Release();

    // An open that fails at any later step leaves nothing open.
    std::error_code rc = SetEventMask(EV_RXCHAR | EV_BREAK | EV_ERR);
    if (!rc) {
        rc = SetReadTimeoutMode(ReadTimeoutNonblocking);
    }
    if (!rc) {
        DeviceUse use(*this);
        if (use.Open()) {
            ApplyDefaultConfig(use.Device(), name);
            // A line that would replace or drop bytes is no use to the program: bytes go through untouched.
            rc = ReadState(use.Device(), dcb);
            if (!rc) {
                MakeRaw(dcb);
                rc = WriteState(use.Device(), dcb);
                m_Baud.store(dcb.BaudRate);
            }
        }
    }
    if (rc) {
        CloseDevice();
    }
    return Finish(rc);
}

std::error_code CSerialPort::InstallDevice(DeviceHandle device, bool overlapped) {
    auto system = std::make_unique<SystemPort>();
    system->closeEvent.Reset(NewEvent(true));
    system->wakeEvent.Reset(NewEvent(false));
    if (!system->closeEvent.Valid() || !system->wakeEvent.Valid()) {
        return LastCode();
    }
    std::lock_guard openClose(m_OpenCloseMutex);
    std::unique_lock io(m_IoLock);
    if (m_Handle.load() != kNoDevice) {
        return PortErrc::AlreadyOpen; // another thread opened the object meanwhile
    }
    m_System.reset(system.release());
    PublishDevice(device, overlapped);
    return {};
}

void CSerialPort::CloseDevice() {
    std::lock_guard openClose(m_OpenCloseMutex);
    HANDLE device = m_Handle.load();
    if (device == kNoDevice) {
        return;
    }
    // Calls waiting on the device see the close event, cancel their own transfer and leave; then nobody
    // uses the handle.
    ::SetEvent(m_System->closeEvent.Get());
    std::unique_lock io(m_IoLock);
    m_Handle.store(kNoDevice);
    ::CloseHandle(device);
    m_System.reset();
    m_Overlapped.store(false);
}

std::error_code CSerialPort::ApplyLine(DeviceHandle device, int32_t baud, int32_t dataBits, int32_t parity,
                                       int32_t stopBits) {
    DCB dcb{};
    if (const std::error_code rc = ReadState(device, dcb)) {
        return rc;
    }
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    dcb.fParity = parity != ParityNone ? TRUE : FALSE;
    return WriteState(device, dcb);
}

// Hardware handshaking raises DTR and RTS but leaves them under the program's control, as on POSIX.
std::error_code CSerialPort::ApplyFlowControl(DeviceHandle device, const serial_detail::FlowControl& flow) {
    DCB dcb{};
    if (const std::error_code rc = ReadState(device, dcb)) {
        return rc;
    }
    dcb.fOutxCtsFlow = flow.ctsFlow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = flow.raiseLines ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = flow.raiseLines ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fOutX = flow.xonXoff ? TRUE : FALSE;
    dcb.fInX = flow.xonXoff ? TRUE : FALSE;
    return WriteState(device, dcb);
}

std::error_code CSerialPort::ReadLine(DeviceHandle device, serial_detail::LineSettings& line) {
    DCB dcb{};
    if (const std::error_code rc = ReadState(device, dcb)) {
        return rc;
    }
    line.baud = static_cast<int32_t>(dcb.BaudRate);
    line.dataBits = dcb.ByteSize;
    line.parity = dcb.fParity != 0 ? dcb.Parity : ParityNone;
    line.stopBits = dcb.StopBits;
    line.flow.ctsFlow = dcb.fOutxCtsFlow != 0;
    line.flow.xonXoff = dcb.fOutX != 0 && dcb.fInX != 0;
    return {};
}

std::error_code CSerialPort::WriteEventChar(DeviceHandle device, char eventChar) {
    DCB dcb{};
    if (const std::error_code rc = ReadState(device, dcb)) {
        return rc;
    }
    dcb.EvtChar = eventChar;
    return WriteState(device, dcb);
}

std::error_code CSerialPort::ApplyEventMask(DeviceHandle device, uint32_t mask) {
    return Comm().setCommMask.load()(device, mask) != 0 ? std::error_code() : LastDeviceCode();
}

std::error_code CSerialPort::ApplyReadMode(DeviceHandle device, int32_t mode) {
    // Every field is set: what a driver or an earlier program left would otherwise stay in force, and
    // write totals there end a write early, so that each message would go out in pieces. Writes have no
    // driver time-out: each call bounds its own wait.
    COMMTIMEOUTS timeouts{};
    // Non-blocking: return at once with what has arrived. Blocking: wait for the whole count.
    timeouts.ReadIntervalTimeout = mode == ReadTimeoutNonblocking ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return Comm().setCommTimeouts.load()(device, &timeouts) != 0 ? std::error_code() : LastDeviceCode();
}

void CSerialPort::Wake() const {
    ::SetEvent(m_System->wakeEvent.Get());
}

} // namespace brenwick::serial
