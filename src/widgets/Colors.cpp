#include "widgets/Colors.h"

#include <QApplication>
#include <QPalette>

namespace brenwick::widgets {

QColor ToQColor(COLORREF color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

COLORREF FromQColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return MakeColorRef(rgb.red(), rgb.green(), rgb.blue());
}

namespace {

COLORREF PaletteColor(QPalette::ColorRole role) {
    return FromQColor(QApplication::palette().color(QPalette::Active, role));
}

} // namespace

COLORREF ButtonFaceColor() {
    return PaletteColor(QPalette::Button);
}
COLORREF ButtonTextColor() {
    return PaletteColor(QPalette::ButtonText);
}
COLORREF ButtonHighlightColor() {
    return PaletteColor(QPalette::Light);
}
COLORREF ButtonShadowColor() {
    return PaletteColor(QPalette::Dark);
}

} // namespace brenwick::widgets
