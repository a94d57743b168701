#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace brenwick::widgets {

// Converts the dialog units of the form and dialog layouts into pixels. Four horizontal units are one
// average character width of the dialog font, eight vertical units one character height, so a form keeps
// its designed proportions with whatever font the desktop gives.
class CDialogUnits {
  public:
    // Base units given directly: `averageCharWidth` and `charHeight` in pixels, both at least 1.
    CDialogUnits(int averageCharWidth, int charHeight);
    // Base units measured from `font`: the average width of the 52 Latin letters, rounded, and the height.
    explicit CDialogUnits(const QFont& font);

    // The dialog font: "MS Sans Serif" 8 point, or the nearest sans-serif face the system has.
    static QFont DialogFont();

    int BaseX() const { return m_BaseX; }
    int BaseY() const { return m_BaseY; }

    // Rounded to the nearest pixel, halves away from zero.
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QSize ToPixels(QSize units) const;
    // A rectangle as x, y, width, height in dialog units.
    QRect ToPixels(const QRect& units) const;

  private:
    int m_BaseX;
    int m_BaseY;
};

// value × numerator ÷ denominator in 64 bits, rounded to the nearest integer (halves away from zero);
// 0 when the denominator is 0.
int MulDivRound(int value, int numerator, int denominator);

} // namespace brenwick::widgets
