#include "panel/StatusGeometry.h"

#include <algorithm>

namespace brenwick::panel {

StatusGeometry ComputeStatusGeometry(int width, int height, std::uint32_t min, std::uint32_t max,
                                     std::uint32_t pos) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    const int barWidth = std::max(width - height, 0);
    const int lampSide = std::min(width, height);
    const int circle = std::max(lampSide - 6, 0);

    int boundary = 0;
    if (max > min) {
        const std::uint32_t clamped = std::clamp(pos, min, max);
        // 64 bits so that a very wide control cannot wrap the product.
        const std::uint64_t product =
            static_cast<std::uint64_t>(clamped - min) * static_cast<std::uint64_t>(barWidth);
        boundary = static_cast<int>(product / (max - min));
    }

    StatusGeometry g{};
    g.bar = Rect{0, 0, barWidth, height};
    g.lamp = Rect{width - lampSide, 0, lampSide, height};
    g.ellipse = Rect{width - lampSide + 3, 3, circle, circle};
    g.filled = Rect{0, 0, boundary, height};
    g.unfilled = Rect{boundary, 0, barWidth - boundary, height};
    g.boundary = boundary;
    return g;
}

} // namespace brenwick::panel
