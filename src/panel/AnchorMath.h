#pragma once

#include "panel/Geometry.h"

namespace brenwick::panel {

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

// Where one anchored control's corners sit: each follows its anchor's point at a fixed offset.
struct AnchorPlacement {
    Anchor firstAnchor{};
    Point firstMargin;
    Anchor secondAnchor{};
    Point secondMargin;
};

// The offsets of a control's corners from its anchors' points in a layout area of `area`; AnchorNone as the
// second anchor means the first. Integer arithmetic truncated toward zero.
void CaptureMargins(AnchorPlacement& placement, Size area, const EdgeRect& control, Anchor first,
                    Anchor second);

// Where the control goes in a layout area of `area`.
EdgeRect ResolveAnchoredRect(const AnchorPlacement& placement, Size area);

} // namespace brenwick::panel
