#include "PaintCounting.h"
#include "widgets/CClockCtrl.h"
#include "widgets/ClockFormat.h"
#include "widgets/Colors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace bp = brenwick::widgets;

namespace {

std::tm Tm(int year, int month, int day, int weekday, int hour, int minute, int second) {
    std::tm t{};
    std::tie(t.tm_year, t.tm_mon, t.tm_mday, t.tm_wday, t.tm_hour, t.tm_min, t.tm_sec) =
        std::tuple(year - 1900, month - 1, day, weekday, hour, minute, second);
    return t;
}

// The tests that convert seconds choose their zone; the others do not depend on it.
void SetTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

// 2026-12-06 00:44:32 UTC, a Sunday.
constexpr std::time_t kSunday6Dec2026 = 1796517872;

} // namespace

// The same broken-down time as the local line (12-hour, weekday) and as the UTC line (24-hour).
TEST(ClockFormat, LocalAndUtcLines) {
    const struct {
        std::tm time;
        const char* local;
        const char* utc;
    } cases[] = {
        {Tm(2026, 3, 17, 2, 9, 5, 7), " Tue 17 Mar 2026  9:05:07 AM ", " 17 Mar 2026  9:05:07 UTC "},
        {Tm(2026, 3, 17, 2, 21, 5, 7), " Tue 17 Mar 2026  9:05:07 PM ", " 17 Mar 2026  21:05:07 UTC "},
        {Tm(2026, 12, 6, 0, 0, 44, 32), " Sun 6 Dec 2026  12:44:32 AM ", " 6 Dec 2026  0:44:32 UTC "},
        {Tm(2026, 7, 1, 3, 12, 0, 0), " Wed 1 Jul 2026  12:00:00 PM ", " 1 Jul 2026  12:00:00 UTC "},
        {Tm(2027, 1, 31, 0, 23, 59, 59), " Sun 31 Jan 2027  11:59:59 PM ", " 31 Jan 2027  23:59:59 UTC "},
        {Tm(2026, 2, 9, 1, 1, 0, 9), " Mon 9 Feb 2026  1:00:09 AM ", " 9 Feb 2026  1:00:09 UTC "},
        {Tm(2026, 8, 22, 6, 13, 10, 0), " Sat 22 Aug 2026  1:10:00 PM ", " 22 Aug 2026  13:10:00 UTC "},
        {Tm(2026, 13, 5, 9, 10, 0, 0), " ? 5 ? 2026  10:00:00 AM ", " 5 ? 2026  10:00:00 UTC "}, // bad fields
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bp::FormatLocalClockText(c.time), c.local);
        EXPECT_EQ(bp::FormatUtcClockText(c.time), c.utc);
    }
    // A user locale must not translate the names; try a few that may be installed.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"de_DE.UTF-8", "fr_FR.UTF-8", "C.UTF-8"}) {
        std::setlocale(LC_ALL, locale);
        EXPECT_EQ(bp::FormatLocalClockText(cases[2].time), cases[2].local) << locale;
    }
    std::setlocale(LC_ALL, before.c_str());
}

TEST(ClockFormat, ConvertsSecondsToLocalTimeOrUtc) {
    SetTimeZone("CET-1"); // one hour east of UTC, no daylight saving
    EXPECT_EQ(bp::FormatClockText(kSunday6Dec2026, false), " 6 Dec 2026  0:44:32 UTC ");
    EXPECT_EQ(bp::FormatClockText(kSunday6Dec2026, true), " Sun 6 Dec 2026  1:44:32 AM ");
    EXPECT_EQ(bp::FormatClockText(kSunday6Dec2026 - 7200, true), " Sat 5 Dec 2026  11:44:32 PM ");
}

// The cell is 90 % of the height, truncated; the font's height fills it without exceeding it.
TEST(ClockFormat, FontCellIsNinetyPercentAndTheFontFitsIt) {
    for (const auto& [height, cell] : {std::pair{20, 18}, {15, 13}, {10, 9}, {11, 9}, {30, 27}, {1, 0}}) {
        EXPECT_EQ(bp::ClockFontCellHeight(height), cell) << height;
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
                EXPECT_LT(box.bottom(), bp::ClockFontCellHeight(height));
                EXPECT_LE(std::abs(box.left() - (299 - box.right())), 3) << box.left() << ".." << box.right();
            }
        }
    }
}
