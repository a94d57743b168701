#include "PaintCounting.h"
#include "widgets/CStatusCtrl.h"
#include "widgets/Colors.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

namespace bp = brenwick::widgets;

namespace {

bp::COLORREF At(const QImage& image, int x, int y) {
    return bp::FromQColor(image.pixelColor(x, y));
}

// The bar's pixels inside the frame: left of the boundary the fill with text in the desktop colour, right of
// it the button face with text in the text colour; anything else counts as other.
struct Census {
    int inkOverFill = 0, inkElsewhere = 0, other = 0;
    int first = -1, last = -1; // the text's columns
};
Census Count(const QImage& image, int boundary) {
    Census c;
    for (int x = 2; x < 198; ++x) {
        const bool fill = x < boundary;
        for (int y = 2; y < 18; ++y) {
            const bp::COLORREF p = At(image, x, y);
            const bool ink = p == (fill ? bp::kDesktopColor : bp::ButtonTextColor());
            (fill ? c.inkOverFill : c.inkElsewhere) += ink ? 1 : 0;
            c.other += !ink && p != (fill ? bp::kBarCyan : bp::ButtonFaceColor()) ? 1 : 0;
            c.first = ink && c.first < 0 ? x : c.first;
            c.last = ink ? x : c.last;
        }
    }
    return c;
}

} // namespace

TEST(StatusCtrl, SetPosClampsAndReturnsThePreviousPosition) {
    bp::CStatusCtrl ctrl;
    EXPECT_EQ(ctrl.GetPos(), 0U);
    const std::uint32_t steps[][3] = {
        {50, 0, 50}, {150, 50, 100}, {7, 100, 7}, {0xFFFFFFFFU, 7, 100}, {0, 100, 0}};
    for (const auto& [pos, returned, stored] : steps) {
        EXPECT_EQ(ctrl.SetPos(pos), returned) << "SetPos(" << pos << ")";
        EXPECT_EQ(ctrl.GetPos(), stored) << "SetPos(" << pos << ")";
    }
}

// One rendering per case: the fill ends exactly at the boundary, the text takes the desktop colour over the
// fill and the text colour elsewhere, centred over the bar; the lamp's circle and square; the etched frame.
TEST(StatusCtrl, PaintsFillTextLampAndFrame) {
    const struct {
        const char* text;
        std::uint32_t pos;
        int boundary;
        bp::COLORREF lamp;
        bool inkOverFill, inkElsewhere;
    } cases[] = {
        {"", 50, 100, bp::kLampRed, false, false},
        {"", 33, 66, bp::kLampGreen, false, false},
        {"", 150, 200, bp::kLampGrey, false, false},
        {"Programming Programming", 50, 100, bp::kLampYellow, true, true},
        {"Connected", 0, 0, bp::kLampGreen, false, true},
        {"Off Line", 10, 20, bp::kLampGrey, false, true},
        {"Connected", 100, 200, bp::kLampRed, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.text << "\" at " << c.pos);
        bp::CStatusCtrl ctrl;
        ctrl.resize(220, 20);
        ctrl.SetText(QString::fromLatin1(c.text));
        ctrl.SetPos(c.pos);
        ctrl.SetLampColor(c.lamp);
        QImage image(ctrl.size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        ctrl.render(&image);

        const Census census = Count(image, c.boundary);
        EXPECT_EQ(census.other, 0);
        EXPECT_EQ(census.inkOverFill > 0, c.inkOverFill);
        EXPECT_EQ(census.inkElsewhere > 0, c.inkElsewhere);
        if (census.first >= 0) { // centred over the bar
            EXPECT_LE(std::abs(census.first - (199 - census.last)), 3) << census.first << ".." << census.last;
        }
        // The lamp's circle; the square's corners outside it and where it touches the bar at x = 200; the
        // etched frame to its corners, dark then light along the top and left, light then dark along the
        // bottom and right.
        const bp::COLORREF face = bp::ButtonFaceColor(), dark = bp::ButtonShadowColor(),
                           light = bp::ButtonHighlightColor();
        const std::tuple<int, int, bp::COLORREF> pixels[] = {
            {210, 10, c.lamp}, {204, 10, c.lamp}, {216, 10, c.lamp}, {203, 3, face},   {216, 16, face},
            {201, 10, face},   {50, 0, dark},     {218, 0, dark},    {0, 18, dark},    {219, 0, light},
            {0, 19, light},    {50, 1, light},    {217, 1, light},   {1, 17, light},   {218, 1, dark},
            {1, 18, dark},     {50, 18, dark},    {218, 18, dark},   {219, 19, light}, {219, 10, light}};
        for (const auto& [x, y, color] : pixels) {
            EXPECT_EQ(At(image, x, y), color) << x << "," << y;
        }
    }
}

TEST(StatusCtrl, SeveralSettersGiveOnePaintShowingTheLastValues) {
    CPaintCounting<bp::CStatusCtrl> ctrl;
    ctrl.resize(220, 20);
    ctrl.show();
    QApplication::processEvents();
    QApplication::processEvents();
    ctrl.paints = 0;
    ctrl.SetText(QStringLiteral("Programming"));
    ctrl.SetLampColor(bp::kLampYellow);
    ctrl.SetPos(10);
    ctrl.SetPos(60);
    EXPECT_EQ(ctrl.paints, 0) << "setters must not paint directly";
    QApplication::processEvents();
    EXPECT_EQ(ctrl.paints, 1);
    ctrl.SetPos(60); // an unchanged value still repaints
    QApplication::processEvents();
    EXPECT_EQ(ctrl.paints, 2);

    const QImage shown = ctrl.grab().toImage();
    EXPECT_EQ(At(shown, 119, 3), bp::kBarCyan);
    EXPECT_EQ(At(shown, 120, 3), ctrl.GetBackColor());
    EXPECT_EQ(At(shown, 210, 10), bp::kLampYellow);
}

TEST(Colors, ColorRefIsBlueGreenRed) {
    const struct {
        bp::COLORREF ref;
        int r, g, b;
    } cases[] = {{0x000000FF, 255, 0, 0}, {0x00FFFF00, 0, 255, 255}, {0x00A56E3A, 0x3A, 0x6E, 0xA5}};
    for (const auto& c : cases) {
        EXPECT_EQ(bp::ToQColor(c.ref), QColor(c.r, c.g, c.b)) << std::hex << c.ref;
        EXPECT_EQ(bp::FromQColor(QColor(c.r, c.g, c.b)), c.ref) << std::hex << c.ref;
        EXPECT_EQ(bp::MakeColorRef(c.r, c.g, c.b), c.ref) << std::hex << c.ref;
    }
}
