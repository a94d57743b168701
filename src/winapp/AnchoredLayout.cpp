#include "winapp/AnchoredLayout.h"

#include <algorithm>

namespace brenwick::winapp {

RECT ChildRect(HWND parent, HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void CAnchoredLayout::Anchor(HWND form, int id, SIZE design, panel::Anchor first, panel::Anchor second) {
    const RECT r = ChildRect(form, ::GetDlgItem(form, id));
    Control control{id, {}};
    panel::CaptureMargins(control.placement, {design.cx, design.cy}, {r.left, r.top, r.right, r.bottom},
                          first, second);
    m_Controls.push_back(control);
}

void CAnchoredLayout::Reposition(HWND form, SIZE design) const {
    RECT client{};
    ::GetClientRect(form, &client);
    const panel::Size area{std::max<int>(client.right, design.cx), std::max<int>(client.bottom, design.cy)};
    HDWP batch = ::BeginDeferWindowPos(static_cast<int>(m_Controls.size()));
    for (const Control& control : m_Controls) {
        HWND window = ::GetDlgItem(form, control.id);
        const RECT now = ChildRect(form, window);
        const panel::EdgeRect next = panel::ResolveAnchoredRect(control.placement, area);
        if (next == panel::EdgeRect{now.left, now.top, now.right, now.bottom} || batch == nullptr) {
            continue;
        }
        // Text and custom controls are drawn anew at their new place rather than copied there.
        batch = ::DeferWindowPos(batch, window, nullptr, next.left, next.top, next.right - next.left,
                                 next.bottom - next.top,
                                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOCOPYBITS);
    }
    if (batch != nullptr) {
        ::EndDeferWindowPos(batch);
    }
}

} // namespace brenwick::winapp
