#include "winapp/SingleInstance.h"

namespace brenwick::winapp {

bool CSingleInstance::Acquire() {
    m_Mutex.Reset(::CreateMutexW(nullptr, TRUE, m_Name.c_str()));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        m_Mutex.Reset();
        RaiseMarkedWindow(m_Name);
        return false;
    }
    // A mutex that cannot be made keeps nobody out: better two copies than none.
    return true;
}

void CSingleInstance::MarkWindow(HWND window) const {
    ::SetPropW(window, m_Name.c_str(), reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)));
}

void CSingleInstance::UnmarkWindow(HWND window) const {
    ::RemovePropW(window, m_Name.c_str());
}

bool CSingleInstance::RaiseMarkedWindow(const std::wstring& name) {
    for (HWND window = ::GetWindow(::GetDesktopWindow(), GW_CHILD); window != nullptr;
         window = ::GetWindow(window, GW_HWNDNEXT)) {
        if (::GetPropW(window, name.c_str()) == nullptr) {
            continue;
        }
        if (::IsIconic(window) != 0) {
            ::ShowWindow(window, SW_RESTORE);
        }
        // One hand-over only: once the foreground is given away, this copy may not set it again. An open
        // dialog comes forward with the window that owns it.
        HWND popup = ::GetLastActivePopup(window);
        ::SetForegroundWindow(popup != nullptr ? popup : window);
        return true;
    }
    return false;
}

} // namespace brenwick::winapp
