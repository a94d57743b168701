#include "widgets/DialogUnits.h"

#include <QFontMetrics>
#include <QString>
#include <algorithm>
#include <cstdint>

namespace brenwick::widgets {

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

CDialogUnits::CDialogUnits(int averageCharWidth, int charHeight)
    : m_BaseX(std::max(averageCharWidth, 1)), m_BaseY(std::max(charHeight, 1)) {}

namespace {

int AverageLetterWidth(const QFontMetrics& metrics) {
    const int width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return (width / 26 + 1) / 2; // width / 52, rounded
}

} // namespace

CDialogUnits::CDialogUnits(const QFont& font)
    : CDialogUnits(AverageLetterWidth(QFontMetrics(font)), QFontMetrics(font).height()) {}

QFont CDialogUnits::DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

int CDialogUnits::ToPixelsX(int units) const {
    return MulDivRound(units, m_BaseX, 4);
}
int CDialogUnits::ToPixelsY(int units) const {
    return MulDivRound(units, m_BaseY, 8);
}

QSize CDialogUnits::ToPixels(QSize units) const {
    return {ToPixelsX(units.width()), ToPixelsY(units.height())};
}

QRect CDialogUnits::ToPixels(const QRect& units) const {
    // Edges are converted, not sizes, so that adjacent controls stay adjacent.
    const int left = ToPixelsX(units.x());
    const int top = ToPixelsY(units.y());
    const int right = ToPixelsX(units.x() + units.width());
    const int bottom = ToPixelsY(units.y() + units.height());
    return {left, top, right - left, bottom - top};
}

} // namespace brenwick::widgets
