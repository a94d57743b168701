#include "panel/AnchorMath.h"

namespace brenwick::panel {

namespace {

int Share(int length, int percent) {
    return length * percent / 100;
}

} // namespace

void CaptureMargins(AnchorPlacement& placement, Size area, const EdgeRect& control, Anchor first,
                    Anchor second) {
    if (second == AnchorNone) {
        second = first;
    }
    const int w = area.width;
    const int h = area.height;
    placement.firstAnchor = first;
    placement.secondAnchor = second;
    placement.firstMargin = {control.left - Share(w, first.x), control.top - Share(h, first.y)};
    placement.secondMargin = {control.right - Share(w, second.x), control.bottom - Share(h, second.y)};
}

EdgeRect ResolveAnchoredRect(const AnchorPlacement& placement, Size area) {
    const int w = area.width;
    const int h = area.height;
    return {Share(w, placement.firstAnchor.x) + placement.firstMargin.x,
            Share(h, placement.firstAnchor.y) + placement.firstMargin.y,
            Share(w, placement.secondAnchor.x) + placement.secondMargin.x,
            Share(h, placement.secondAnchor.y) + placement.secondMargin.y};
}

} // namespace brenwick::panel
