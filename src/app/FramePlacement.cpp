#include "app/FramePlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <limits>

namespace brenwick::app {

namespace {

// How much of a window a screen must show for it to be reached with the mouse: its title bar's worth.
constexpr int64_t kGrabWidth = 64;
constexpr int64_t kGrabHeight = 24;

bool IsMinimizedCmd(int32_t cmd) {
    return cmd == panel::kShowMinimized || cmd == panel::kMinimize || cmd == panel::kShowMinNoActive;
}

// A rectangle by its edges in 64 bits (right and bottom just outside), so that nothing on the way from the
// stored numbers to a QRect overflows: QRect's own right() and bottom() do near the int's limits.
struct Area {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;

    int64_t Width() const { return std::max<int64_t>(0, right - left); }
    int64_t Height() const { return std::max<int64_t>(0, bottom - top); }
};

Area AreaOf(const QRect& rect) {
    return {rect.x(), rect.y(), int64_t{rect.x()} + rect.width(), int64_t{rect.y()} + rect.height()};
}

Area Intersection(const Area& a, const Area& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// Whether some screen shows enough of the window's title-bar strip to grab it.
bool TitleBarShown(const Area& window, const QList<QRect>& screens) {
    const Area strip{window.left, window.top, window.right,
                     window.top + std::min(kGrabHeight, window.Height())};
    for (const QRect& screen : screens) {
        const Area seen = Intersection(strip, AreaOf(screen));
        if (seen.Width() >= std::min(kGrabWidth, window.Width()) && seen.Height() >= strip.Height()) {
            return true;
        }
    }
    return false;
}

int ToInt(int64_t value) {
    return static_cast<int>(
        std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

std::optional<QRect> PullOntoScreens(const WindowEdges& window, const QList<QRect>& screens) {
    const Area stored{window.left, window.top, window.right, window.bottom};
    const int64_t width = stored.right - stored.left;
    const int64_t height = stored.bottom - stored.top;
    if (width <= 0 || height <= 0) {
        return std::nullopt;
    }
    QList<QRect> shown; // a screen without an available area can take no window
    for (const QRect& screen : screens) {
        if (!screen.isEmpty()) {
            shown.append(screen);
        }
    }
    if (shown.isEmpty()) {
        const auto fits = [](int64_t value) {
            return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
        };
        if (!fits(stored.left) || !fits(stored.top) || !fits(stored.right) || !fits(stored.bottom) ||
            !fits(width) || !fits(height)) {
            return std::nullopt;
        }
        return QRect(ToInt(stored.left), ToInt(stored.top), ToInt(width), ToInt(height));
    }

    // The screen it lands on: the one that shows most of it (an area fits 64 bits, as a screen's sides fit
    // 31 bits each), else the first.
    QRect home = shown.front();
    int64_t mostSeen = 0;
    for (const QRect& screen : shown) {
        const Area seen = Intersection(stored, AreaOf(screen));
        if (seen.Width() * seen.Height() > mostSeen) {
            mostSeen = seen.Width() * seen.Height();
            home = screen;
        }
    }
    const Area screen = AreaOf(home);
    // Never larger than its screen: a window of many screens' size would be one of gigabytes.
    const int64_t placedWidth = std::min(width, screen.Width());
    const int64_t placedHeight = std::min(height, screen.Height());
    int64_t x = placedWidth < width ? screen.left : stored.left;
    int64_t y = placedHeight < height ? screen.top : stored.top;
    if (!TitleBarShown({x, y, x + placedWidth, y + placedHeight}, shown)) {
        x = std::clamp(x, screen.left, screen.right - placedWidth);
        y = std::clamp(y, screen.top, screen.bottom - placedHeight);
    }
    return QRect(ToInt(x), ToInt(y), ToInt(placedWidth), ToInt(placedHeight));
}

void ApplyPlacement(QWidget& window, const panel::WindowPlacement& placement, const QList<QRect>& screens) {
    const auto place =
        PullOntoScreens({placement.left, placement.top, placement.right, placement.bottom}, screens);
    if (place) {
        window.move(place->topLeft());
        window.resize(place->size());
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
