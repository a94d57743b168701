#pragma once

#include "panel/DialogUnits.h"

#include <QFont>
#include <QRect>
#include <QSize>

namespace brenwick::widgets {

// The panel's dialog units measured from a Qt font, converting Qt's sizes and rectangles.
class CDialogUnits : public panel::CDialogUnits {
  public:
    using panel::CDialogUnits::CDialogUnits;
    using panel::CDialogUnits::ToPixels;
    // Base units measured from `font`: the average width of the 52 Latin letters, rounded, and the height.
    explicit CDialogUnits(const QFont& font);

    // The dialog font: "MS Sans Serif" 8 point, or the nearest sans-serif face the system has.
    static QFont DialogFont();

    QSize ToPixels(QSize units) const;
    QRect ToPixels(const QRect& units) const;
};

using panel::MulDivRound;

} // namespace brenwick::widgets
