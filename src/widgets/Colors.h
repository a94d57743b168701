#pragma once

#include "panel/ColorRef.h"

#include <QColor>

namespace brenwick::widgets {

// The panel's colour values, as the widgets take them.
using panel::COLORREF;
using panel::kBarCyan;
using panel::kLampGreen;
using panel::kLampGrey;
using panel::kLampRed;
using panel::kLampYellow;
using panel::LampColorName;
using panel::MakeColorRef;

QColor ToQColor(COLORREF color);
COLORREF FromQColor(const QColor& color);

// The desktop colour has no counterpart in a Qt palette; this fixed value stands for it.
inline constexpr COLORREF kDesktopColor = 0x00A56E3A;

// Button face, button text, and the light and dark edges of an etched frame, from the application palette.
COLORREF ButtonFaceColor();
COLORREF ButtonTextColor();
COLORREF ButtonHighlightColor();
COLORREF ButtonShadowColor();

} // namespace brenwick::widgets
