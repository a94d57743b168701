#pragma once

#include "serial/win32/WindowsApi.h"

#include <atomic>

namespace brenwick::serial {

// The Win32 calls through which an open port reaches its driver. Each slot holds the system's own function;
// the unit tests put in the answers that real drivers give and Wine cannot (an unplugged USB device, a
// refused queue size, a cancel the driver never completes) and put the system's back afterwards.
struct CommCalls {
    std::atomic<decltype(&::GetCommState)> getCommState{&::GetCommState};
    std::atomic<decltype(&::SetupComm)> setupComm{&::SetupComm};
    std::atomic<decltype(&::SetCommMask)> setCommMask{&::SetCommMask};
    std::atomic<decltype(&::SetCommTimeouts)> setCommTimeouts{&::SetCommTimeouts};
    std::atomic<decltype(&::ReadFile)> readFile{&::ReadFile};
    std::atomic<decltype(&::WriteFile)> writeFile{&::WriteFile};
    std::atomic<decltype(&::WaitCommEvent)> waitCommEvent{&::WaitCommEvent};
    std::atomic<decltype(&::ClearCommError)> clearCommError{&::ClearCommError};
    std::atomic<decltype(&::CancelIoEx)> cancelIoEx{&::CancelIoEx};
};

CommCalls& Comm();

} // namespace brenwick::serial
