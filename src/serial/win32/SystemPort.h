#pragma once

#include "base/win32/UniqueHandle.h"
#include "serial/SerialPort.h"
#include "serial/win32/WindowsApi.h"

#include <mutex>
#include <vector>

namespace brenwick::serial {

// The code of the Win32 call that just failed; one that left no reason still failed.
inline std::error_code LastCode() {
    const DWORD code = ::GetLastError();
    return {static_cast<int>(code == 0 ? ERROR_GEN_FAILURE : code), std::system_category()};
}

inline std::error_code SystemCode(DWORD code) {
    return {static_cast<int>(code), std::system_category()};
}

// The code of a failed call on a port this program holds. Nobody else can open a port that is held, so
// "access denied" there is a driver's answer for a device that was unplugged (usbser.sys and many USB
// converters' drivers give it), not another program's claim: it reads as the device removed.
inline std::error_code LastDeviceCode() {
    const DWORD code = ::GetLastError();
    return code == ERROR_ACCESS_DENIED ? SystemCode(ERROR_DEVICE_REMOVED) : LastCode();
}

struct CSerialPort::SystemPort {
    UniqueHandle closeEvent;            // set while the port closes: every wait ends
    UniqueHandle wakeEvent;             // auto-reset: a mask change or a finished write
    std::mutex transferMutex;           // reads and writes in flight, for CancelIo
    std::vector<OVERLAPPED*> transfers; // their OVERLAPPED structures

    // One read or write of `length` bytes, ended early by the time-out, a cancel (also one since
    // `startSerial`) or the close; `moved` counts what moved.
    std::error_code RunTransfer(CSerialPort& port, HANDLE device, bool write, void* buffer, uint32_t length,
                                uint32_t timeout, uint64_t startSerial, uint32_t& moved);
    // One WaitCommEvent: the events it reported in `events`, nothing without events when a wake-up (mask
    // change, finished write) ended it, or the code of a close, a time-out or a failure.
    std::error_code WaitForDeviceEvents(CSerialPort& port, HANDLE device, uint32_t timeoutMs,
                                        uint32_t& events);
    // Pauses up to `ms` for a close or a wake-up: false, with the code to return in `rc`, when the wait must
    // end (the port closes, or the mask changed from `maskSerial`: rc empty, no events).
    bool PauseForWake(const CSerialPort& port, uint32_t ms, uint64_t maskSerial, std::error_code& rc);
};

} // namespace brenwick::serial
