#include "app/FramePlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace brenwick::app {

namespace {

// How much of a window a screen must show for it to be reached with the mouse: its title bar's worth.
constexpr int kGrabWidth = 64;
constexpr int kGrabHeight = 24;

bool IsMinimizedCmd(int32_t cmd) {
    return cmd == kShowMinimized || cmd == kMinimize || cmd == kShowMinNoActive;
}

} // namespace

QRect PullOntoScreens(const QRect& window, const QList<QRect>& screens) {
    if (screens.isEmpty()) {
        return window;
    }
    for (const QRect& screen : screens) {
        const QRect seen = screen.intersected(window);
        if (seen.width() >= std::min(kGrabWidth, window.width()) &&
            seen.height() >= std::min(kGrabHeight, window.height()) && !seen.isEmpty()) {
            return window;
        }
    }
    const QRect& home = screens.front();
    const int width = std::min(window.width(), home.width());
    const int height = std::min(window.height(), home.height());
    const int x = std::clamp(window.x(), home.left(), home.left() + home.width() - width);
    const int y = std::clamp(window.y(), home.top(), home.top() + home.height() - height);
    return {x, y, width, height};
}

void ApplyPlacement(QWidget& window, const WindowPlacement& placement, const QList<QRect>& screens) {
    const QRect stored(placement.left, placement.top, placement.right - placement.left,
                       placement.bottom - placement.top);
    if (stored.width() > 0 && stored.height() > 0) {
        const QRect place = PullOntoScreens(stored, screens);
        window.move(place.topLeft());
        window.resize(place.size());
    }
}

void ShowInPlacement(QWidget& window, const WindowPlacement& placement) {
    if (placement.showCmd == kShowMaximized) {
        window.showMaximized();
    } else if (IsMinimizedCmd(placement.showCmd)) {
        // Restored later to where it was before: maximised when it closed so.
        const Qt::WindowStates restored =
            (placement.flags & kRestoreToMaximized) != 0 ? Qt::WindowMaximized : Qt::WindowNoState;
        window.setWindowState(restored | Qt::WindowMinimized);
        window.show();
    } else {
        // Every other command shows the window normally; a hidden main window would leave the operator
        // nothing to click.
        window.show();
    }
}

WindowPlacement CapturePlacement(const QWidget& window, const WindowPlacement& previous,
                                 const QRect& lastNormal) {
    WindowPlacement p = previous;
    p.flags = 0;
    const bool normal = !window.isMaximized() && !window.isMinimized() && !window.isFullScreen();
    const QRect rect = normal || !lastNormal.isValid() ? QRect(window.pos(), window.size()) : lastNormal;
    if (window.isMinimized()) {
        p.showCmd = kShowMinimized;
    } else if (window.isMaximized()) {
        p.showCmd = kShowMaximized;
    } else {
        p.showCmd = kShowNormal;
    }
    if (window.isMaximized() || (window.windowState() & Qt::WindowMaximized) != 0) {
        p.flags |= kRestoreToMaximized;
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
