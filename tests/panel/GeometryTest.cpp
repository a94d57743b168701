// The arithmetic of the panel's geometry, shared by the window front ends: anchored controls, dialog units
// and the status bar's parts.
#include "panel/AnchorMath.h"
#include "panel/DialogUnits.h"
#include "panel/StatusGeometry.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>

namespace brenwick::panel {

// How GoogleTest prints the panel's rectangles in a failure message.
void PrintTo(const EdgeRect& r, std::ostream* os);
void PrintTo(const EdgeRect& r, std::ostream* os) {
    *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}
void PrintTo(const Rect& r, std::ostream* os);
void PrintTo(const Rect& r, std::ostream* os) {
    *os << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}
void PrintTo(const Point& p, std::ostream* os);
void PrintTo(const Point& p, std::ostream* os) {
    *os << "(" << p.x << "," << p.y << ")";
}

namespace {

// The corners' offsets from their anchors, and the places they give at the design size and at 601 x 301 (the
// anchors the form below does not use; odd sizes truncate).
TEST(AnchorMath, MarginsAndResolvedRectangles) {
    const Size design{300, 150};
    const struct {
        EdgeRect control;
        Anchor first, second;
        Point firstMargin, secondMargin;
        EdgeRect placed;
    } cases[] = {
        {{250, 65, 290, 85}, AnchorMiddleRight, AnchorNone, {-50, -10}, {-10, 10}, {551, 140, 591, 160}},
        {{10, 40, 110, 60}, AnchorBottomCenter, AnchorNone, {-140, -110}, {-40, -90}, {160, 191, 260, 211}},
    };
    for (const auto& c : cases) {
        AnchorPlacement entry;
        CaptureMargins(entry, design, c.control, c.first, c.second);
        EXPECT_EQ(entry.firstMargin, c.firstMargin);
        EXPECT_EQ(entry.secondMargin, c.secondMargin);
        EXPECT_EQ(ResolveAnchoredRect(entry, design), c.control) << "the design size gives it back";
        EXPECT_EQ(ResolveAnchoredRect(entry, Size{601, 301}), c.placed);
    }
}

TEST(DialogUnits, ConversionRoundsHalvesAwayFromZero) {
    const int cases[][4] = {{157, 6, 4, 236}, {1, 6, 4, 2},  {1, 5, 4, 1},     {2, 5, 4, 3},
                            {-1, 6, 4, -2},   {3, 7, 8, 3},  {77, 13, 8, 125}, {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},
                            {5, 3, 0, 0},     {5, 3, -2, -8}};
    for (const auto& [value, numerator, denominator, result] : cases) {
        EXPECT_EQ(MulDivRound(value, numerator, denominator), result)
            << value << "*" << numerator << "/" << denominator;
    }
}

// Sizes, narrow controls and positions: the fill boundary truncates and the parts tile the control.
TEST(StatusGeometry, PartsAndFillBoundary) {
    const struct {
        int width, height;
        std::uint32_t pos;
        int boundary;
    } cases[] = {{220, 20, 0, 0},     {220, 20, 1, 2},   {220, 20, 33, 66},
                 {220, 20, 150, 200}, {301, 21, 33, 92}, {301, 21, 99, 277},
                 {101, 1, 50, 50},    {20, 20, 50, 0},   {10, 20, 100, 0}};
    for (const auto& c : cases) {
        const StatusGeometry g = ComputeStatusGeometry(c.width, c.height, 0, 100, c.pos);
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " pos " << c.pos);
        EXPECT_EQ(g.boundary, c.boundary);
        EXPECT_EQ(g.filled, (Rect{0, 0, c.boundary, c.height}));
        EXPECT_EQ(g.filled.width + g.unfilled.width, g.bar.width);
        EXPECT_EQ(g.bar.width, std::max(c.width - c.height, 0));
        EXPECT_EQ(g.lamp.x + g.lamp.width, c.width);
        EXPECT_GE(g.lamp.x, 0);
    }
    const StatusGeometry g = ComputeStatusGeometry(220, 20, 0, 100, 50);
    EXPECT_EQ(g.ellipse, (Rect{203, 3, 14, 14}));
}

// Edges are converted, not sizes, so that adjacent controls stay adjacent.
TEST(DialogUnits, EdgesAreConvertedSoNeighboursStayAdjacent) {
    const CDialogUnits units(6, 13);
    EXPECT_EQ(units.ToPixels(Size{157, 77}), (Size{236, 125}));
    const Rect left = units.ToPixels(Rect{4, 48, 1, 11});
    EXPECT_EQ(left.x + left.width, units.ToPixels(Rect{5, 48, 1, 11}).x);
    EXPECT_EQ(units.ToPixels(Rect{4, 62, 150, 11}), (Rect{6, 101, 225, 18}));
    EXPECT_EQ(CDialogUnits(0, -3).BaseX(), 1); // never below one pixel
    EXPECT_EQ(CDialogUnits(0, -3).BaseY(), 1);
    // The average of the 52 letters, rounded: 311 / 52 = 5.98, 285 / 52 = 5.48, 338 / 52 = 6.5 (halves up).
    EXPECT_EQ(AverageLetterWidth(311), 6);
    EXPECT_EQ(AverageLetterWidth(285), 5);
    EXPECT_EQ(AverageLetterWidth(338), 7);
}

} // namespace
} // namespace brenwick::panel
