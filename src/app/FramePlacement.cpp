#include "app/FramePlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <vector>

namespace brenwick::app {

namespace {

bool IsMinimizedCmd(int32_t cmd) {
    return cmd == panel::kShowMinimized || cmd == panel::kMinimize || cmd == panel::kShowMinNoActive;
}

} // namespace

void ApplyPlacement(QWidget& window, const panel::WindowPlacement& placement, const QList<QRect>& screens) {
    std::vector<panel::Rect> areas;
    for (const QRect& screen : screens) {
        areas.push_back({screen.x(), screen.y(), screen.width(), screen.height()});
    }
    const auto place =
        panel::PullOntoScreens({placement.left, placement.top, placement.right, placement.bottom}, areas);
    if (place) {
        window.move(place->x, place->y);
        window.resize(place->width, place->height);
    }
}

void ShowInPlacement(QWidget& window, const panel::WindowPlacement& placement) {
    if (placement.showCmd == panel::kShowMaximized) {
        window.showMaximized();
    } else if (IsMinimizedCmd(placement.showCmd)) {
        // Restored later to where it was before: maximised when it closed so.
        const Qt::WindowStates restored =
            (placement.flags & panel::kRestoreToMaximized) != 0 ? Qt::WindowMaximized : Qt::WindowNoState;
        window.setWindowState(restored | Qt::WindowMinimized);
        window.show();
    } else {
        // Every other command shows the window normally; a hidden main window would leave the operator
        // nothing to click.
        window.show();
    }
}

panel::WindowPlacement CapturePlacement(const QWidget& window, const panel::WindowPlacement& previous,
                                        const QRect& lastNormal) {
    panel::WindowPlacement p = previous;
    p.flags = 0;
    const bool normal = !window.isMaximized() && !window.isMinimized() && !window.isFullScreen();
    const QRect rect = normal || !lastNormal.isValid() ? QRect(window.pos(), window.size()) : lastNormal;
    if (window.isMinimized()) {
        p.showCmd = panel::kShowMinimized;
    } else if (window.isMaximized()) {
        p.showCmd = panel::kShowMaximized;
    } else {
        p.showCmd = panel::kShowNormal;
    }
    if (window.isMaximized() || (window.windowState() & Qt::WindowMaximized) != 0) {
        p.flags |= panel::kRestoreToMaximized;
    }
    p.left = rect.left();
    p.top = rect.top();
    p.right = rect.left() + rect.width();
    p.bottom = rect.top() + rect.height();
    return p;
}

QList<QRect> ScreenAreas() {
    QList<QRect> areas;
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        areas.append(primary->availableGeometry());
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) {
            areas.append(screen->availableGeometry());
        }
    }
    return areas;
}

} // namespace brenwick::app
