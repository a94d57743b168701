#include "panel/ScreenPlacement.h"

#include <algorithm>
#include <limits>

namespace brenwick::panel {

namespace {

// How much of a window a screen must show for it to be reached with the mouse: its title bar's worth.
constexpr int64_t kGrabWidth = 64;
constexpr int64_t kGrabHeight = 24;

// A rectangle by its edges in 64 bits (right and bottom just outside), so that nothing on the way from the
// stored numbers to a rectangle overflows.
struct Area {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;

    int64_t Width() const { return std::max<int64_t>(0, right - left); }
    int64_t Height() const { return std::max<int64_t>(0, bottom - top); }
};

Area AreaOf(const Rect& rect) {
    return {rect.x, rect.y, int64_t{rect.x} + rect.width, int64_t{rect.y} + rect.height};
}

Area Intersection(const Area& a, const Area& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// Whether some screen shows enough of the window's title-bar strip to grab it.
bool TitleBarShown(const Area& window, const std::vector<Rect>& screens) {
    const Area strip{window.left, window.top, window.right,
                     window.top + std::min(kGrabHeight, window.Height())};
    for (const Rect& screen : screens) {
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

std::optional<Rect> PullOntoScreens(const WindowEdges& window, const std::vector<Rect>& screens) {
    const Area stored{window.left, window.top, window.right, window.bottom};
    const int64_t width = stored.right - stored.left;
    const int64_t height = stored.bottom - stored.top;
    if (width <= 0 || height <= 0) {
        return std::nullopt;
    }
    std::vector<Rect> shown; // a screen without an available area can take no window
    for (const Rect& screen : screens) {
        if (screen.width > 0 && screen.height > 0) {
            shown.push_back(screen);
        }
    }
    if (shown.empty()) {
        const auto fits = [](int64_t value) {
            return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
        };
        if (!fits(stored.left) || !fits(stored.top) || !fits(stored.right) || !fits(stored.bottom) ||
            !fits(width) || !fits(height)) {
            return std::nullopt;
        }
        return Rect{ToInt(stored.left), ToInt(stored.top), ToInt(width), ToInt(height)};
    }

    // The screen it lands on: the one that shows most of it (an area fits 64 bits, as a screen's sides fit
    // 31 bits each), else the first.
    Rect home = shown.front();
    int64_t mostSeen = 0;
    for (const Rect& screen : shown) {
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
    return Rect{ToInt(x), ToInt(y), ToInt(placedWidth), ToInt(placedHeight)};
}

} // namespace brenwick::panel
