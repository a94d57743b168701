#pragma once

#include "panel/Geometry.h"

namespace brenwick::panel {

// Converts the dialog units of the form and dialog layouts into pixels. Four horizontal units are one
// average character width of the dialog font, eight vertical units one character height, so a form keeps
// its designed proportions with whatever font the desktop gives. Each window front end measures its font.
class CDialogUnits {
  public:
    // `averageCharWidth` and `charHeight` in pixels; both count as at least 1.
    CDialogUnits(int averageCharWidth, int charHeight);

    int BaseX() const { return m_BaseX; }
    int BaseY() const { return m_BaseY; }

    // Rounded to the nearest pixel, halves away from zero.
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    Size ToPixels(Size units) const;
    // A rectangle as x, y, width, height in dialog units; its edges are converted, not its size, so that
    // adjacent controls stay adjacent.
    Rect ToPixels(const Rect& units) const;

  private:
    int m_BaseX;
    int m_BaseY;
};

// The average character width from the advance of the 52 Latin letters "A".."Z" "a".."z": width / 52,
// rounded.
int AverageLetterWidth(int advanceOfTheLetters);

// value × numerator ÷ denominator in 64 bits, rounded to the nearest integer (halves away from zero);
// 0 when the denominator is 0.
int MulDivRound(int value, int numerator, int denominator);

} // namespace brenwick::panel
