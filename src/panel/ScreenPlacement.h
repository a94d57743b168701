#pragma once

#include "panel/Geometry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace brenwick::panel {

// A window's edges as the placement stores them (right and bottom just outside the window), held wide enough
// that their differences cannot overflow whatever the stored numbers are.
struct WindowEdges {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;
};

// Where a window with the stored edges goes; `screens`: the screens' available areas, the primary first.
// Nothing when the edges make no rectangle (no positive width or height): the window keeps its default
// place. Otherwise the window lands on the screen it overlaps most (else the first) and is never larger than
// that screen: a side cut to the screen's puts the window across the whole screen that way. It stays where
// it is while some screen shows its title-bar strip (its top 24 pixels, at least 64 of them wide), and is
// moved onto its screen otherwise. With no screens there is nothing to fit it to: the rectangle as stored,
// unless its size does not fit an int.
std::optional<Rect> PullOntoScreens(const WindowEdges& window, const std::vector<Rect>& screens);

} // namespace brenwick::panel
