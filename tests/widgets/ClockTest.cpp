#include "PaintCounting.h"
#include "panel/ClockFormat.h"
#include "widgets/CClockCtrl.h"
#include "widgets/Colors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace bp = brenwick::widgets;

namespace {

// The tests that convert seconds choose their zone; the others do not depend on it.
void SetTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

// 2026-12-06 00:44:32 UTC, a Sunday.
constexpr std::time_t kSunday6Dec2026 = 1796517872;

} // namespace

// The font's height fills the cell (90 % of the height, truncated) without exceeding it.
TEST(ClockFont, FillsTheCellWithoutExceedingIt) {
    for (const auto& [height, cell] : {std::pair{20, 18}, {15, 13}, {10, 9}, {11, 9}, {30, 27}, {1, 0}}) {
        if (height >= 15) {
            const QFontMetrics metrics(bp::CClockCtrl::MakeFont(height));
            EXPECT_LE(metrics.height(), cell) << height;
            EXPECT_GE(metrics.height(), cell - 2) << height;
        }
    }
}

// Ticks repaint only when the second changes, forwards or back; the switch to UTC shows at the next change.
TEST(ClockCtrl, RepaintsOnlyWhenTheSecondChanges) {
    SetTimeZone("EST5");
    std::time_t now = kSunday6Dec2026;
    CPaintCounting<bp::CClockCtrl> clock;
    EXPECT_TRUE(clock.IsTimerRunning());
    EXPECT_EQ(clock.TimerInterval(), 900);
    EXPECT_TRUE(clock.GetText().isEmpty());
    clock.SetTimeSource([&now] { return now; });
    clock.resize(220, 20);
    clock.show();
    QApplication::processEvents();
    const struct {
        std::time_t now;
        bool local, repaints;
        const char* text;
    } ticks[] = {
        {kSunday6Dec2026, true, true, " Sat 5 Dec 2026  7:44:32 PM "},
        {kSunday6Dec2026, true, false, " Sat 5 Dec 2026  7:44:32 PM "},
        {kSunday6Dec2026 + 1, true, true, " Sat 5 Dec 2026  7:44:33 PM "},
        {kSunday6Dec2026 + 1, false, false, " Sat 5 Dec 2026  7:44:33 PM "},
        {kSunday6Dec2026 + 2, false, true, " 6 Dec 2026  0:44:34 UTC "},
        {kSunday6Dec2026 - 60, false, true, " 6 Dec 2026  0:43:32 UTC "},
    };
    for (const auto& t : ticks) {
        now = t.now;
        clock.SetLocalTime(t.local);
        const int before = clock.paints;
        clock.OnTimer();
        QApplication::processEvents();
        EXPECT_EQ(clock.paints - before, t.repaints ? 1 : 0) << t.text;
        EXPECT_EQ(clock.GetText().toStdString(), t.text);
    }
}

// Nothing but the background before the first tick; then the text centred in the top cell, in the text
// colour or its blends with the background (never redder than the background).
TEST(ClockCtrl, TextIsCentredAndSitsInTheTopCell) {
    const int faceRed = bp::ToQColor(bp::ButtonFaceColor()).red();
    for (const int height : {20, 15, 30}) {
        bp::CClockCtrl clock;
        clock.SetTimeSource([] { return kSunday6Dec2026; });
        clock.SetLocalTime(false);
        clock.m_TextColor = 0x00804040;
        clock.resize(300, height);
        for (const bool ticked : {false, true}) {
            if (ticked) {
                clock.OnTimer();
            }
            QImage image(clock.size(), QImage::Format_RGB32);
            image.fill(Qt::magenta);
            clock.render(&image);
            QRect box;
            bool dark = false, redder = false;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    box |= bp::FromQColor(c) != bp::ButtonFaceColor() ? QRect(x, y, 1, 1) : QRect();
                    dark = dark || (c.red() <= 0x60 && c.blue() >= c.red());
                    redder = redder || c.red() > faceRed;
                }
            }
            SCOPED_TRACE(testing::Message() << "height " << height << (ticked ? " ticked" : ""));
            EXPECT_EQ(box.isNull(), !ticked);
            EXPECT_EQ(dark, ticked);
            EXPECT_FALSE(redder);
            if (ticked) {
                EXPECT_LT(box.bottom(), brenwick::panel::ClockFontCellHeight(height));
                EXPECT_LE(std::abs(box.left() - (299 - box.right())), 3) << box.left() << ".." << box.right();
            }
        }
    }
}
