#include "panel/ColorRef.h"

#include <cstdio>

namespace brenwick::panel {

std::string LampColorName(COLORREF color) {
    switch (color) {
    case kLampRed:
        return "red";
    case kLampGreen:
        return "green";
    case kLampYellow:
        return "yellow";
    case kLampGrey:
        return "grey";
    default:
        break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(color & 0xFF),
                  static_cast<unsigned>((color >> 8) & 0xFF), static_cast<unsigned>((color >> 16) & 0xFF));
    return text;
}

} // namespace brenwick::panel
