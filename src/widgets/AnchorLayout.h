#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

namespace brenwick::widgets {

// A point of the layout rectangle as percentages of its width and height (0 left/top, 100 right/bottom).
struct Anchor {
    int x;
    int y;
    friend constexpr bool operator==(const Anchor&, const Anchor&) = default;
};

// Only meaningful as a second anchor, where it stands for the first.
inline constexpr Anchor AnchorNone{-1, -1};
inline constexpr Anchor AnchorTopLeft{0, 0};
inline constexpr Anchor AnchorTopCenter{50, 0};
inline constexpr Anchor AnchorTopRight{100, 0};
inline constexpr Anchor AnchorMiddleLeft{0, 50};
inline constexpr Anchor AnchorMiddleCenter{50, 50};
inline constexpr Anchor AnchorMiddleRight{100, 50};
inline constexpr Anchor AnchorBottomLeft{0, 100};
inline constexpr Anchor AnchorBottomCenter{50, 100};
inline constexpr Anchor AnchorBottomRight{100, 100};

// A rectangle by its edges, right and bottom exclusive (a control at x 10 and 100 wide has right 110).
struct EdgeRect {
    int left;
    int top;
    int right;
    int bottom;
    friend constexpr bool operator==(const EdgeRect&, const EdgeRect&) = default;

    static EdgeRect FromQRect(const QRect& r) {
        return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
    }
    QRect ToQRect() const { return {left, top, right - left, bottom - top}; }
};

// One anchored control: its corners follow their anchors' points at fixed offsets.
struct AnchorEntry {
    QPointer<QWidget> hWnd; // null for an entry without a window, or once the control is gone
    Anchor firstAnchor{};
    QPoint firstMargin;
    Anchor secondAnchor{};
    QPoint secondMargin;
};

// The offsets of a control's corners from its anchors' points in a layout area of `area`; AnchorNone as the
// second anchor means the first. Integer arithmetic truncated toward zero.
void CaptureMargins(AnchorEntry& entry, QSize area, const EdgeRect& control, Anchor first, Anchor second);

// Where the entry's control goes in a layout area of `area`.
EdgeRect ResolveAnchoredRect(const AnchorEntry& entry, QSize area);

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
