#pragma once

#include <memory>
#include <string>
#include <windows.h>

namespace brenwick::winapp {

// What the program's own control classes (the status bar, the clock) share.

// Registers a control's window class for `instance` once: the arrow cursor, the button face behind it. False
// when the system refuses it.
bool RegisterControlClass(HINSTANCE instance, const wchar_t* name, UINT style, WNDPROC procedure);

// A control's own state lives with its window: made at WM_NCCREATE, freed at WM_NCDESTROY. Call from the
// window procedure for every message.
template <class State>
void KeepState(HWND window, UINT message) {
    if (message == WM_NCCREATE) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(std::make_unique<State>().release()));
    } else if (message == WM_NCDESTROY) {
        std::unique_ptr<State>(reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA))).reset();
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
}

// The control's state; null outside the window's life.
template <class State>
State* StateOf(HWND window) {
    return reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// A window's text, whole.
std::wstring WindowText(HWND window);

// Enter in a form (IDOK) presses the focused button, as Space does.
void PressFocusedButton(HWND form);

} // namespace brenwick::winapp
