#pragma once

#include "panel/Geometry.h"

#include <cstdint>

namespace brenwick::panel {

// Where the parts of the status bar go in a control of the given size: the bar on the left, the lamp square
// of side `height` at the right end, the lamp circle 3 pixels inside the square, and the progress fill.
struct StatusGeometry {
    Rect bar;      // the text and progress area
    Rect lamp;     // the square at the right end
    Rect ellipse;  // the bounding box of the lamp circle
    Rect filled;   // left part of the bar, in the fill colour
    Rect unfilled; // rest of the bar, in the back colour
    int boundary;  // x where the fill ends
};

// The fill boundary is (pos - min) * barWidth / (max - min) in unsigned arithmetic, truncated. A control no
// wider than it is tall has no bar, only the lamp.
StatusGeometry ComputeStatusGeometry(int width, int height, std::uint32_t min, std::uint32_t max,
                                     std::uint32_t pos);

} // namespace brenwick::panel
