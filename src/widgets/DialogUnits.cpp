#include "widgets/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace brenwick::widgets {

namespace {

int AverageLetterWidth(const QFontMetrics& metrics) {
    return panel::AverageLetterWidth(
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")));
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

QSize CDialogUnits::ToPixels(QSize units) const {
    const panel::Size pixels = ToPixels(panel::Size{units.width(), units.height()});
    return {pixels.width, pixels.height};
}

QRect CDialogUnits::ToPixels(const QRect& units) const {
    const panel::Rect pixels = ToPixels(panel::Rect{units.x(), units.y(), units.width(), units.height()});
    return {pixels.x, pixels.y, pixels.width, pixels.height};
}

} // namespace brenwick::widgets
