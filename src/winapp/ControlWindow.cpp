#include "winapp/ControlWindow.h"

namespace brenwick::winapp {

bool RegisterControlClass(HINSTANCE instance, const wchar_t* name, UINT style, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, name, &existing) != 0) {
        return true;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return ::RegisterClassExW(&wc) != 0;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void PressFocusedButton(HWND form) {
    if (HWND focus = ::GetFocus(); focus != nullptr && ::IsChild(form, focus)) {
        ::SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

} // namespace brenwick::winapp
