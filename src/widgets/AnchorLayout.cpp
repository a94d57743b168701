#include "widgets/AnchorLayout.h"

#include <iterator>

namespace brenwick::widgets {

namespace {

int Share(int length, int percent) {
    return length * percent / 100;
}

struct PendingMove {
    QWidget* control;
    QRect geometry;
    bool moves;
    bool resizes;
};

} // namespace

void CaptureMargins(AnchorEntry& entry, QSize area, const EdgeRect& control, Anchor first, Anchor second) {
    if (second == AnchorNone) {
        second = first;
    }
    const int w = area.width();
    const int h = area.height();
    entry.firstAnchor = first;
    entry.secondAnchor = second;
    entry.firstMargin = QPoint(control.left - Share(w, first.x), control.top - Share(h, first.y));
    entry.secondMargin = QPoint(control.right - Share(w, second.x), control.bottom - Share(h, second.y));
}

EdgeRect ResolveAnchoredRect(const AnchorEntry& entry, QSize area) {
    const int w = area.width();
    const int h = area.height();
    return {Share(w, entry.firstAnchor.x) + entry.firstMargin.x(),
            Share(h, entry.firstAnchor.y) + entry.firstMargin.y(),
            Share(w, entry.secondAnchor.x) + entry.secondMargin.x(),
            Share(h, entry.secondAnchor.y) + entry.secondMargin.y()};
}

QRect CAnchorLayout::GetLayoutRect() const {
    const QWidget* window = GetLayoutWindow();
    return window != nullptr ? window->rect() : QRect();
}

EdgeRect CAnchorLayout::ControlRect(const QWidget& control) const {
    const QWidget* window = GetLayoutWindow();
    QRect r = control.geometry();
    if (window != nullptr && control.parentWidget() != window) {
        r.moveTopLeft(window->mapFromGlobal(control.mapToGlobal(QPoint(0, 0))));
    }
    return EdgeRect::FromQRect(r);
}

void CAnchorLayout::AnchorControl(QWidget* control, Anchor first, Anchor second) {
    AnchorEntry entry;
    entry.hWnd = control;
    const QRect layout = GetLayoutRect();
    EdgeRect r{};
    if (control != nullptr) {
        r = ControlRect(*control);
        r = {r.left - layout.x(), r.top - layout.y(), r.right - layout.x(), r.bottom - layout.y()};
    }
    CaptureMargins(entry, layout.size(), r, first, second);
    m_Entries.insert(std::next(m_Entries.begin(), m_WindowEntryCount), entry);
    ++m_WindowEntryCount;
}

int CAnchorLayout::RepositionControls() {
    const QRect layout = GetLayoutRect();
    std::vector<PendingMove> batch;
    batch.reserve(m_Entries.size());

    for (AnchorEntry& entry : m_Entries) {
        if (entry.hWnd.isNull()) {
            ArrangeCustomEntry(entry);
            continue;
        }
        QWidget& control = *entry.hWnd;
        const EdgeRect current = ControlRect(control);
        EdgeRect wanted = ResolveAnchoredRect(entry, layout.size());
        wanted = {wanted.left + layout.x(), wanted.top + layout.y(), wanted.right + layout.x(),
                  wanted.bottom + layout.y()};
        if (wanted == current) {
            continue;
        }
        // The control's own parent may be a descendant of the layout window: keep the offset between them.
        const QPoint offset = control.pos() - QPoint(current.left, current.top);
        QRect geometry = wanted.ToQRect();
        geometry.translate(offset);
        const bool moves = wanted.left != current.left || wanted.top != current.top;
        const bool resizes = (wanted.right - wanted.left) != (current.right - current.left) ||
                             (wanted.bottom - wanted.top) != (current.bottom - current.top);
        batch.push_back({&control, geometry, moves, resizes});
    }

    // Every place is worked out before any control moves, and all moves happen before the next paint, so
    // no half-arranged form is ever shown. A move that keeps the size, or a resize that keeps the place,
    // is made as such.
    for (const PendingMove& m : batch) {
        if (m.moves && m.resizes) {
            m.control->setGeometry(m.geometry);
        } else if (m.moves) {
            m.control->move(m.geometry.topLeft());
        } else {
            m.control->resize(m.geometry.size());
        }
    }
    return static_cast<int>(batch.size());
}

} // namespace brenwick::widgets
