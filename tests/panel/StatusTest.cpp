#include "panel/CStatusCtrl.h"
#include "panel/Colors.h"
#include "panel/StatusGeometry.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>
#include <vector>

namespace bp = brenwick::panel;

namespace {

// Renders the control the way it reaches the screen.
QImage Render(bp::CStatusCtrl& ctrl) {
    QImage image(ctrl.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    ctrl.render(&image);
    return image;
}

bp::COLORREF At(const QImage& image, int x, int y) {
    return bp::FromQColor(image.pixelColor(x, y));
}

struct Census {
    int desktop = 0;
    int text = 0;
    int other = 0; // neither the text colour pair nor the expected background
};

// Counts the pixels of rows inside the frame, columns [from, to), against the background expected there.
Census Count(const QImage& image, int from, int to, bp::COLORREF background, bp::COLORREF textColor) {
    Census c;
    for (int y = 2; y < image.height() - 2; ++y) {
        for (int x = from; x < to; ++x) {
            const bp::COLORREF p = At(image, x, y);
            if (p == bp::kDesktopColor) {
                ++c.desktop;
            } else if (p == textColor) {
                ++c.text;
            } else if (p != background) {
                ++c.other;
            }
        }
    }
    return c;
}

class StatusCtrlTest : public ::testing::Test {
  protected:
    StatusCtrlTest() { ctrl.resize(220, 20); }
    bp::CStatusCtrl ctrl;
};

} // namespace

TEST(StatusGeometry, PartsOfA220By20Control) {
    const bp::StatusGeometry g = bp::ComputeStatusGeometry(220, 20, 0, 100, 50);
    EXPECT_EQ(g.lamp, QRect(200, 0, 20, 20));
    EXPECT_EQ(g.ellipse, QRect(203, 3, 14, 14));
    EXPECT_EQ(g.bar, QRect(0, 0, 200, 20));
    EXPECT_EQ(g.boundary, 100);
    EXPECT_EQ(g.filled, QRect(0, 0, 100, 20));
    EXPECT_EQ(g.unfilled, QRect(100, 0, 100, 20));
}

TEST(StatusGeometry, FillBoundaryTruncates) {
    struct Case {
        int width, height;
        std::uint32_t pos;
        int boundary;
    };
    const std::vector<Case> cases = {
        {220, 20, 0, 0},   {220, 20, 1, 2},    {220, 20, 33, 66}, {220, 20, 100, 200}, {220, 20, 150, 200},
        {301, 21, 33, 92}, {301, 21, 99, 277}, {101, 1, 50, 50},  {20, 20, 50, 0},     {10, 20, 100, 0},
    };
    for (const Case& c : cases) {
        const bp::StatusGeometry g = bp::ComputeStatusGeometry(c.width, c.height, 0, 100, c.pos);
        EXPECT_EQ(g.boundary, c.boundary) << c.width << "x" << c.height << " pos " << c.pos;
        EXPECT_EQ(g.filled.width() + g.unfilled.width(), g.bar.width()) << c.width << "x" << c.height;
        EXPECT_GE(g.unfilled.width(), 0);
    }
}

TEST(StatusGeometry, ControlNarrowerThanTallHasNoBarAndALampInside) {
    const bp::StatusGeometry g = bp::ComputeStatusGeometry(10, 20, 0, 100, 100);
    EXPECT_EQ(g.bar.width(), 0);
    EXPECT_GE(g.lamp.left(), 0);
    EXPECT_LE(g.lamp.right(), 9);
}

TEST_F(StatusCtrlTest, DefaultsWhenCreated) {
    EXPECT_EQ(ctrl.GetPos(), 0U);
    EXPECT_EQ(ctrl.GetMin(), 0U);
    EXPECT_EQ(ctrl.GetMax(), 100U);
    EXPECT_TRUE(ctrl.GetText().isEmpty());
    EXPECT_EQ(ctrl.GetLampColor(), bp::kLampGreen);
    EXPECT_EQ(ctrl.GetBarColor(), 0x00FFFF00U);
    EXPECT_EQ(ctrl.GetBackColor(), bp::ButtonFaceColor());
    EXPECT_EQ(ctrl.GetTextColor(), bp::ButtonTextColor());
}

TEST_F(StatusCtrlTest, SetPosClampsAndReturnsThePreviousPosition) {
    struct Step {
        std::uint32_t pos;
        std::uint32_t returned;
        std::uint32_t stored;
    };
    const std::vector<Step> steps = {
        {50, 0, 50}, {150, 50, 100}, {7, 100, 7},     {0xFFFFFFFFU, 7, 100},
        {0, 100, 0}, {100, 0, 100},  {101, 100, 100},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(ctrl.SetPos(s.pos), s.returned) << "SetPos(" << s.pos << ")";
        EXPECT_EQ(ctrl.GetPos(), s.stored) << "SetPos(" << s.pos << ")";
    }
}

TEST_F(StatusCtrlTest, LampCircleHasTheLampColourAndTheSquareCornersTheButtonFace) {
    for (const bp::COLORREF lamp : {bp::kLampRed, bp::kLampGreen, bp::kLampYellow, bp::kLampGrey}) {
        ctrl.SetLampColor(lamp);
        ctrl.SetPos(50);
        const QImage image = Render(ctrl);
        EXPECT_EQ(At(image, 210, 10), lamp) << std::hex << lamp;
        EXPECT_EQ(At(image, 204, 10), lamp) << std::hex << lamp;
        EXPECT_EQ(At(image, 216, 10), lamp) << std::hex << lamp;
        // Corners of the square lie outside the circle.
        EXPECT_EQ(At(image, 203, 3), bp::ButtonFaceColor()) << std::hex << lamp;
        EXPECT_EQ(At(image, 216, 16), bp::ButtonFaceColor()) << std::hex << lamp;
        // The lamp square touches the bar at x = 200.
        EXPECT_EQ(At(image, 201, 10), bp::ButtonFaceColor()) << std::hex << lamp;
    }
}

TEST_F(StatusCtrlTest, FillEndsAtTheBoundary) {
    struct Case {
        std::uint32_t pos;
        int boundary;
    };
    for (const Case c : {Case{50, 100}, Case{33, 66}, Case{10, 20}, Case{90, 180}, Case{150, 200}}) {
        ctrl.SetPos(c.pos);
        const QImage image = Render(ctrl);
        for (int y = 2; y < 18; ++y) {
            EXPECT_EQ(At(image, c.boundary - 1, y), bp::kBarCyan) << "pos " << c.pos << " y " << y;
            if (c.boundary < 198) {
                EXPECT_EQ(At(image, c.boundary, y), ctrl.GetBackColor()) << "pos " << c.pos << " y " << y;
            }
        }
        EXPECT_EQ(At(image, 2, 10), bp::kBarCyan) << "pos " << c.pos;
    }
}

TEST_F(StatusCtrlTest, EmptyTextDrawsNoTextYetBarLampAndFrame) {
    ctrl.SetPos(50);
    ctrl.SetLampColor(bp::kLampRed);
    const QImage image = Render(ctrl);
    const Census fill = Count(image, 2, 100, bp::kBarCyan, ctrl.GetTextColor());
    const Census rest = Count(image, 100, 200, ctrl.GetBackColor(), ctrl.GetTextColor());
    EXPECT_EQ(fill.desktop + fill.text + fill.other, 0);
    EXPECT_EQ(rest.desktop + rest.text + rest.other, 0);
    EXPECT_EQ(At(image, 210, 10), bp::kLampRed);
    // Etched frame: dark then light along the top, light then dark along the bottom.
    EXPECT_EQ(At(image, 50, 0), bp::ButtonShadowColor());
    EXPECT_EQ(At(image, 50, 1), bp::ButtonHighlightColor());
    EXPECT_EQ(At(image, 50, 18), bp::ButtonShadowColor());
    EXPECT_EQ(At(image, 50, 19), bp::ButtonHighlightColor());
    EXPECT_EQ(At(image, 0, 10), bp::ButtonShadowColor());
    EXPECT_EQ(At(image, 219, 10), bp::ButtonHighlightColor());
}

TEST_F(StatusCtrlTest, TextChangesColourExactlyAtTheFillBoundary) {
    ctrl.SetText(QStringLiteral("Programming Programming"));
    ctrl.SetPos(50);
    const QImage image = Render(ctrl);
    const Census fill = Count(image, 2, 100, bp::kBarCyan, ctrl.GetTextColor());
    const Census rest = Count(image, 100, 200, ctrl.GetBackColor(), ctrl.GetTextColor());
    EXPECT_GT(fill.desktop, 0);
    EXPECT_EQ(fill.text, 0);
    EXPECT_EQ(fill.other, 0);
    EXPECT_GT(rest.text, 0);
    EXPECT_EQ(rest.desktop, 0);
    EXPECT_EQ(rest.other, 0);
}

TEST_F(StatusCtrlTest, WholeTextTakesOneColourAtEmptyAndFullBar) {
    ctrl.SetText(QStringLiteral("Connected"));
    ctrl.SetPos(0);
    Census c = Count(Render(ctrl), 2, 198, ctrl.GetBackColor(), ctrl.GetTextColor());
    EXPECT_GT(c.text, 0);
    EXPECT_EQ(c.desktop, 0);
    EXPECT_EQ(c.other, 0);

    ctrl.SetPos(100);
    c = Count(Render(ctrl), 2, 198, bp::kBarCyan, ctrl.GetTextColor());
    EXPECT_GT(c.desktop, 0);
    EXPECT_EQ(c.text, 0);
    EXPECT_EQ(c.other, 0);
}

TEST_F(StatusCtrlTest, TextIsCentredOverTheBar) {
    ctrl.SetText(QStringLiteral("Off Line"));
    const QImage image = Render(ctrl);
    int first = -1;
    int last = -1;
    for (int x = 2; x < 198; ++x) {
        for (int y = 2; y < 18; ++y) {
            if (At(image, x, y) == ctrl.GetTextColor()) {
                first = first < 0 ? x : first;
                last = x;
            }
        }
    }
    ASSERT_GE(first, 0);
    const int leftGap = first;
    const int rightGap = 199 - last;
    EXPECT_LE(std::abs(leftGap - rightGap), 3) << "text spans " << first << ".." << last;
}

namespace {

class CountingStatusCtrl : public bp::CStatusCtrl {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        bp::CStatusCtrl::paintEvent(event);
    }
};

} // namespace

TEST(StatusCtrlRepaint, SeveralSettersGiveOnePaintShowingTheLastValues) {
    CountingStatusCtrl ctrl;
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

    // An unchanged value still repaints.
    ctrl.SetPos(60);
    QApplication::processEvents();
    EXPECT_EQ(ctrl.paints, 2);

    const QImage shown = ctrl.grab().toImage();
    EXPECT_EQ(bp::FromQColor(shown.pixelColor(119, 3)), bp::kBarCyan);
    EXPECT_EQ(bp::FromQColor(shown.pixelColor(120, 3)), ctrl.GetBackColor());
    EXPECT_EQ(bp::FromQColor(shown.pixelColor(210, 10)), bp::kLampYellow);
}

TEST(Colors, ColorRefIsBlueGreenRed) {
    struct Case {
        bp::COLORREF ref;
        int r, g, b;
    };
    for (const Case c :
         {Case{0x000000FF, 255, 0, 0}, Case{0x0000FF00, 0, 255, 0}, Case{0x00FFFF00, 0, 255, 255},
          Case{0x00804040, 0x40, 0x40, 0x80}, Case{0x00A56E3A, 0x3A, 0x6E, 0xA5}}) {
        EXPECT_EQ(bp::ToQColor(c.ref), QColor(c.r, c.g, c.b)) << std::hex << c.ref;
        EXPECT_EQ(bp::FromQColor(QColor(c.r, c.g, c.b)), c.ref) << std::hex << c.ref;
        EXPECT_EQ(bp::MakeColorRef(c.r, c.g, c.b), c.ref) << std::hex << c.ref;
    }
}
