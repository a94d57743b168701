#pragma once

#include "panel/AnchorMath.h"

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

namespace brenwick::widgets {

// The anchors and their arithmetic are the panel's; the widgets place Qt controls with them.
using panel::Anchor;
using panel::AnchorBottomCenter;
using panel::AnchorBottomLeft;
using panel::AnchorBottomRight;
using panel::AnchorMiddleCenter;
using panel::AnchorMiddleLeft;
using panel::AnchorMiddleRight;
using panel::AnchorNone;
using panel::AnchorTopCenter;
using panel::AnchorTopLeft;
using panel::AnchorTopRight;
using panel::EdgeRect;

inline EdgeRect EdgesOf(const QRect& r) {
    return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}
inline QRect ToQRect(const EdgeRect& r) {
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}
inline panel::Size ToSize(QSize size) {
    return {size.width(), size.height()};
}

// One anchored control: its corners follow their anchors' points at fixed offsets.
struct AnchorEntry : panel::AnchorPlacement {
    QPointer<QWidget> hWnd; // null for an entry without a window, or once the control is gone
};

// Keeps child controls tied to proportional points of a layout window. Controls are registered once; each
// layout pass then moves every control whose place changed, all before the next paint.
class CAnchorLayout {
  public:
    CAnchorLayout() = default;
    CAnchorLayout(const CAnchorLayout&) = delete;
    CAnchorLayout& operator=(const CAnchorLayout&) = delete;
    virtual ~CAnchorLayout() = default;

    // Registers a control with the anchors of its top-left and bottom-right corners; the offsets are taken
    // from its present place in the present layout rectangle. A null control gives an entry that every
    // pass skips.
    void AnchorControl(QWidget* control, Anchor first, Anchor second = AnchorNone);

    // The layout pass: returns the number of controls moved or resized.
    int RepositionControls();

    const std::vector<AnchorEntry>& Entries() const { return m_Entries; }
    int WindowEntryCount() const { return m_WindowEntryCount; }

  protected:
    // The rectangle in which anchors are resolved, in the layout window's coordinates; by default its
    // whole area.
    virtual QRect GetLayoutRect() const;
    // Asked to place an entry without a window; declining skips it.
    virtual bool ArrangeCustomEntry(AnchorEntry& /*entry*/) { return false; }
    // The window whose children are arranged.
    virtual QWidget* GetLayoutWindow() const = 0;

  private:
    EdgeRect ControlRect(const QWidget& control) const;

    std::vector<AnchorEntry> m_Entries; // window entries first, in registration order
    int m_WindowEntryCount = 0;
};

} // namespace brenwick::widgets
