#include "widgets/AnchorLayout.h"

#include <iterator>

namespace brenwick::widgets {

namespace {

struct PendingMove {
    QWidget* control;
    QRect geometry;
    bool moves;
    bool resizes;
};

} // namespace

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
    return EdgesOf(r);
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
    panel::CaptureMargins(entry, ToSize(layout.size()), r, first, second);
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
        EdgeRect wanted = panel::ResolveAnchoredRect(entry, ToSize(layout.size()));
        wanted = {wanted.left + layout.x(), wanted.top + layout.y(), wanted.right + layout.x(),
                  wanted.bottom + layout.y()};
        if (wanted == current) {
            continue;
        }
        // The control's own parent may be a descendant of the layout window: keep the offset between them.
        const QPoint offset = control.pos() - QPoint(current.left, current.top);
        QRect geometry = ToQRect(wanted);
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
