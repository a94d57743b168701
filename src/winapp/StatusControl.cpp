#include "winapp/StatusControl.h"

#include "panel/StatusGeometry.h"
#include "winapp/ControlWindow.h"
#include "winapp/GdiObjects.h"
#include "winapp/StatusAccessible.h"

#include <memory>
#include <string>

namespace brenwick::winapp {

namespace {

// Private messages of the class: the progress and the lamp colour.
constexpr UINT kSetPos = WM_USER + 1;
constexpr UINT kGetPos = WM_USER + 2;
constexpr UINT kSetLampColor = WM_USER + 3;

struct StatusState {
    uint32_t min = 0;
    uint32_t max = 100;
    uint32_t pos = 0;
    COLORREF lamp = panel::kLampGreen;
    COLORREF back = ::GetSysColor(COLOR_BTNFACE);
    COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
    COLORREF bar = panel::kBarCyan;
};

StatusState* StateOf(HWND window) {
    return winapp::StateOf<StatusState>(window);
}

RECT ToRect(const panel::Rect& r) {
    return {r.x, r.y, r.x + r.width, r.y + r.height};
}

void Fill(HDC dc, const RECT& rect, COLORREF color) {
    ::SetBkColor(dc, color);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

// The whole picture is composed off-screen and copied in one transfer, so that bar, text and lamp never
// show half drawn; the etched frame goes on top, directly.
void Paint(HWND window, HDC target) {
    const StatusState* state = StateOf(window);
    RECT client{};
    ::GetClientRect(window, &client);
    const int w = client.right;
    const int h = client.bottom;
    if (state == nullptr || w <= 0 || h <= 0) {
        return;
    }
    const panel::StatusGeometry g = panel::ComputeStatusGeometry(w, h, state->min, state->max, state->pos);
    const MemoryDc memory(::CreateCompatibleDC(target));
    const GdiObject bitmap(::CreateCompatibleBitmap(target, w, h));
    if (!memory || !bitmap) {
        return;
    }
    {
        const CSelected image(memory.get(), bitmap.get());
        HDC dc = memory.get();
        const RECT filled = ToRect(g.filled);
        const RECT unfilled = ToRect(g.unfilled);
        const RECT bar = ToRect(g.bar);
        const RECT ellipse = ToRect(g.ellipse);
        Fill(dc, filled, state->bar);
        Fill(dc, unfilled, state->back);
        Fill(dc, ToRect(g.lamp), ::GetSysColor(COLOR_BTNFACE)); // always the button face
        const GdiObject lampRegion(::CreateEllipticRgnIndirect(&ellipse));
        ::SelectClipRgn(dc, static_cast<HRGN>(lampRegion.get()));
        Fill(dc, ellipse, state->lamp);

        std::wstring text = WindowText(window);
        // The system font as it is at 100 %, crisp; at a higher DPI the same face at the size it has in the
        // bar at 100 % (a cell of eight ninths of the bar's height), as the stock font is a bitmap of one
        // size.
        GdiObject scaledFont;
        if (::GetDpiForWindow(window) > USER_DEFAULT_SCREEN_DPI) {
            LOGFONTW face{};
            if (::GetObjectW(::GetStockObject(SYSTEM_FONT), sizeof face, &face) != 0) {
                face.lfHeight = ::MulDiv(h, 8, 9);
                face.lfWidth = 0;
                scaledFont.reset(::CreateFontIndirectW(&face));
            }
        }
        const CSelected font(dc, scaledFont ? scaledFont.get() : ::GetStockObject(SYSTEM_FONT));
        if (!text.empty()) {
            // Over the unfilled part the text colour, over the fill the desktop colour: a text that
            // straddles the boundary changes colour exactly there.
            ::SetBkMode(dc, TRANSPARENT);
            const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
            const GdiObject unfilledRegion(::CreateRectRgnIndirect(&unfilled));
            ::SelectClipRgn(dc, static_cast<HRGN>(unfilledRegion.get()));
            ::SetTextColor(dc, state->text);
            RECT box = bar;
            ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &box, format);
            const GdiObject filledRegion(::CreateRectRgnIndirect(&filled));
            ::SelectClipRgn(dc, static_cast<HRGN>(filledRegion.get()));
            ::SetTextColor(dc, ::GetSysColor(COLOR_BACKGROUND));
            box = bar;
            ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &box, format);
        }
        ::SelectClipRgn(dc, nullptr);
        ::BitBlt(target, 0, 0, w, h, dc, 0, 0, SRCCOPY);
    }
    RECT frame = client;
    ::DrawEdge(target, &frame, EDGE_ETCHED, BF_RECT);
}

void Changed(HWND window) {
    ::InvalidateRect(window, nullptr, TRUE);
}

LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeepState<StatusState>(window, message);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(window, &paint);
        Paint(window, dc);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(window, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_SETTEXT: {
        const LRESULT result = ::DefWindowProcW(window, message, wParam, lParam);
        Changed(window);
        return result;
    }
    case kSetPos:
        if (StatusState* state = StateOf(window)) {
            const uint32_t previous = state->pos;
            const auto pos = static_cast<uint32_t>(wParam);
            state->pos = pos < state->min ? state->min : pos > state->max ? state->max : pos;
            if (state->pos != previous) {
                Changed(window);
                ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
            }
            return static_cast<LRESULT>(previous);
        }
        return 0;
    case WM_GETOBJECT:
        return AnswerStatusObjectRequest(window, wParam, lParam);
    case kGetPos:
        return StateOf(window) != nullptr ? static_cast<LRESULT>(StateOf(window)->pos) : 0;
    case kSetLampColor:
        // The panel sets it on every tick: only a new colour repaints.
        if (StatusState* state = StateOf(window); state != nullptr && state->lamp != wParam) {
            state->lamp = static_cast<COLORREF>(wParam);
            Changed(window);
        }
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

bool RegisterStatusControl(HINSTANCE instance) {
    // Redrawn whole when its size changes.
    return RegisterControlClass(instance, kStatusClassName, CS_HREDRAW | CS_VREDRAW, StatusProc);
}

uint32_t SetStatusPos(HWND control, uint32_t pos) {
    return static_cast<uint32_t>(::SendMessageW(control, kSetPos, pos, 0));
}

uint32_t GetStatusPos(HWND control) {
    return static_cast<uint32_t>(::SendMessageW(control, kGetPos, 0, 0));
}

void SetStatusLampColor(HWND control, panel::COLORREF color) {
    ::SendMessageW(control, kSetLampColor, color, 0);
}

} // namespace brenwick::winapp
