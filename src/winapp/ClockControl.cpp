#include "winapp/ClockControl.h"

#include "base/win32/Utf16.h"
#include "panel/ClockFormat.h"
#include "winapp/ControlWindow.h"
#include "winapp/GdiObjects.h"

#include <ctime>
#include <memory>
#include <string>

namespace brenwick::winapp {

namespace {

constexpr UINT_PTR kTimerId = 6;
constexpr UINT kTickMs = 900; // shorter than a second, so that no second is skipped
constexpr UINT kSetTextColor = WM_USER + 1;

struct ClockState {
    COLORREF back = ::GetSysColor(COLOR_BTNFACE);
    COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
    bool localTime = true;
    std::time_t shown = -1; // the second the text was made from; none yet
};

ClockState* StateOf(HWND window) {
    return winapp::StateOf<ClockState>(window);
}

// A new second changes the text and repaints; ticks within the same second change nothing. A clock set
// back still shows at the next tick: the test is for another second, not a later one.
void OnTick(HWND window) {
    ClockState* state = StateOf(window);
    const std::time_t now = std::time(nullptr);
    if (state == nullptr || now == state->shown) {
        return;
    }
    state->shown = now;
    ::SetWindowTextW(window, Widen(panel::FormatClockText(now, state->localTime)).c_str());
    ::InvalidateRect(window, nullptr, TRUE);
}

void Paint(HWND window, HDC dc) {
    const ClockState* state = StateOf(window);
    RECT client{};
    ::GetClientRect(window, &client);
    if (state == nullptr) {
        return;
    }
    // A font made anew for every paint, so that the text always fits the control's present height.
    const GdiObject font(::CreateFontW(panel::ClockFontCellHeight(client.bottom - client.top), 0, 0, 0,
                                       FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_MODERN | DEFAULT_PITCH,
                                       L"Arial"));
    const CSelected selected(dc, font.get());
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SetTextAlign(dc, TA_CENTER | TA_BOTTOM);
    ::SetTextColor(dc, state->text);
    ::SetBkColor(dc, state->back);
    ::SetBkMode(dc, OPAQUE);
    const std::wstring text = WindowText(window);
    // The text's bottom edge one cell height below the top, centred across.
    ::TextOutW(dc, client.left + (client.right - client.left) / 2, metrics.tmHeight, text.c_str(),
               static_cast<int>(text.size()));
}

LRESULT CALLBACK ClockProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeepState<ClockState>(window, message);
    switch (message) {
    case WM_CREATE:
        // Without the timer the control receives no ticks and stays empty, which is all it can do.
        ::SetTimer(window, kTimerId, kTickMs, nullptr);
        break;
    case WM_DESTROY:
        ::KillTimer(window, kTimerId);
        break;
    case WM_TIMER:
        OnTick(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(window, &paint);
        Paint(window, dc);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_PRINTCLIENT: {
        // Drawn into another context (a picture of the window): the background the class brush gives first.
        RECT client{};
        ::GetClientRect(window, &client);
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
        Paint(window, dc);
        return 0;
    }
    case kSetTextColor:
        if (ClockState* state = StateOf(window)) {
            state->text = static_cast<COLORREF>(wParam);
            ::InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

bool RegisterClockControl(HINSTANCE instance) {
    return RegisterControlClass(instance, kClockClassName, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, ClockProc);
}

void SetClockTextColor(HWND control, panel::COLORREF color) {
    ::SendMessageW(control, kSetTextColor, color, 0);
}

} // namespace brenwick::winapp
