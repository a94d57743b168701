#include "panel/DialogUnits.h"

#include <algorithm>
#include <cstdint>

namespace brenwick::panel {

int MulDivRound(int value, int numerator, int denominator) {
    if (denominator == 0) {
        return 0;
    }
    std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    std::int64_t divisor = denominator;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    // Division truncates toward zero, so adding half the divisor away from zero rounds halves outward.
    const std::int64_t half = divisor / 2;
    const std::int64_t quotient = (product >= 0 ? product + half : product - half) / divisor;
    return static_cast<int>(quotient);
}

int AverageLetterWidth(int advanceOfTheLetters) {
    return (advanceOfTheLetters / 26 + 1) / 2;
}

CDialogUnits::CDialogUnits(int averageCharWidth, int charHeight)
    : m_BaseX(std::max(averageCharWidth, 1)), m_BaseY(std::max(charHeight, 1)) {}

int CDialogUnits::ToPixelsX(int units) const {
    return MulDivRound(units, m_BaseX, 4);
}
int CDialogUnits::ToPixelsY(int units) const {
    return MulDivRound(units, m_BaseY, 8);
}

Size CDialogUnits::ToPixels(Size units) const {
    return {ToPixelsX(units.width), ToPixelsY(units.height)};
}

Rect CDialogUnits::ToPixels(const Rect& units) const {
    const int left = ToPixelsX(units.x);
    const int top = ToPixelsY(units.y);
    const int right = ToPixelsX(units.x + units.width);
    const int bottom = ToPixelsY(units.y + units.height);
    return {left, top, right - left, bottom - top};
}

} // namespace brenwick::panel
