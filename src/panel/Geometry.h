#pragma once

namespace brenwick::panel {

// Plain pixel (or dialog-unit) geometry, so that the panel's arithmetic needs no toolkit; each window front
// end converts at its edge.
struct Point {
    int x = 0;
    int y = 0;
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend constexpr bool operator==(const Size&, const Size&) = default;
};

// x, y, width, height.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// A rectangle by its edges, right and bottom exclusive (a control at x 10 and 100 wide has right 110).
struct EdgeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend constexpr bool operator==(const EdgeRect&, const EdgeRect&) = default;

    static constexpr EdgeRect FromRect(const Rect& r) { return {r.x, r.y, r.x + r.width, r.y + r.height}; }
    constexpr Rect ToRect() const { return {left, top, right - left, bottom - top}; }
};

} // namespace brenwick::panel
