#include "panel/CClockCtrl.h"
#include "panel/ClockFormat.h"
#include "panel/Colors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace bp = brenwick::panel;

namespace {

std::tm Tm(int year, int month, int day, int weekday, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_wday = weekday;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// Runs a block with the TZ variable set, restoring the previous value afterwards.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            m_Old = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_Old) {
            setenv("TZ", m_Old->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> m_Old;
};

// 2026-12-06 00:44:32 UTC, a Sunday.
constexpr std::time_t kSunday6Dec2026 = 1796517872;

} // namespace

TEST(ClockFormat, LocalTimeLines) {
    struct Case {
        const char* what;
        std::tm time;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"morning", Tm(2026, 3, 17, 2, 9, 5, 7), " Tue 17 Mar 2026  9:05:07 AM "},
        {"evening", Tm(2026, 3, 17, 2, 21, 5, 7), " Tue 17 Mar 2026  9:05:07 PM "},
        {"midnight", Tm(2026, 12, 6, 0, 0, 44, 32), " Sun 6 Dec 2026  12:44:32 AM "},
        {"noon", Tm(2026, 7, 1, 3, 12, 0, 0), " Wed 1 Jul 2026  12:00:00 PM "},
        {"last second", Tm(2027, 1, 31, 0, 23, 59, 59), " Sun 31 Jan 2027  11:59:59 PM "},
        {"one o'clock", Tm(2026, 2, 9, 1, 1, 0, 9), " Mon 9 Feb 2026  1:00:09 AM "},
        {"one pm", Tm(2026, 8, 22, 6, 13, 10, 0), " Sat 22 Aug 2026  1:10:00 PM "},
        {"bad fields", Tm(2026, 13, 5, 9, 10, 0, 0), " ? 5 ? 2026  10:00:00 AM "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bp::FormatLocalClockText(c.time), c.text) << c.what;
    }
}

TEST(ClockFormat, UtcLines) {
    struct Case {
        std::tm time;
        const char* text;
    };
    const std::vector<Case> cases = {
        {Tm(2026, 12, 6, 0, 0, 44, 32), " 6 Dec 2026  0:44:32 UTC "},
        {Tm(2026, 3, 17, 2, 9, 5, 7), " 17 Mar 2026  9:05:07 UTC "},
        {Tm(2026, 3, 17, 2, 21, 5, 7), " 17 Mar 2026  21:05:07 UTC "},
        {Tm(2026, 7, 1, 3, 12, 0, 0), " 1 Jul 2026  12:00:00 UTC "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bp::FormatUtcClockText(c.time), c.text);
    }
}

TEST(ClockFormat, ConvertsSecondsToLocalTimeOrUtc) {
    const ScopedTimeZone zone("CET-1"); // one hour east of UTC, no daylight saving
    EXPECT_EQ(bp::FormatClockText(kSunday6Dec2026, false), " 6 Dec 2026  0:44:32 UTC ");
    EXPECT_EQ(bp::FormatClockText(kSunday6Dec2026, true), " Sun 6 Dec 2026  1:44:32 AM ");
    EXPECT_EQ(bp::FormatClockText(kSunday6Dec2026 - 3600, true), " Sun 6 Dec 2026  12:44:32 AM ");
    EXPECT_EQ(bp::FormatClockText(kSunday6Dec2026 - 7200, true), " Sat 5 Dec 2026  11:44:32 PM ");
}

TEST(ClockFormat, EnglishNamesWhateverTheUserLocale) {
    // A user locale must not translate the names; try a few that may be installed.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"de_DE.UTF-8", "fr_FR.UTF-8", "C.UTF-8"}) {
        std::setlocale(LC_ALL, locale);
        EXPECT_EQ(bp::FormatLocalClockText(Tm(2026, 12, 6, 0, 0, 44, 32)), " Sun 6 Dec 2026  12:44:32 AM ")
            << locale;
    }
    std::setlocale(LC_ALL, before.c_str());
}

TEST(ClockFormat, FontCellIsNinetyPercentTruncated) {
    struct Case {
        int height, cell;
    };
    for (const Case c : {Case{20, 18}, Case{15, 13}, Case{10, 9}, Case{11, 9}, Case{100, 90}, Case{1, 0}}) {
        EXPECT_EQ(bp::ClockFontCellHeight(c.height), c.cell) << c.height;
    }
}

TEST(ClockCtrl, FontFitsTheCellAndUsesItWell) {
    for (const int height : {15, 20, 30}) {
        const int cell = bp::ClockFontCellHeight(height);
        const QFontMetrics metrics(bp::CClockCtrl::MakeFont(height));
        EXPECT_LE(metrics.height(), cell) << height;
        EXPECT_GE(metrics.height(), cell - 2) << height;
    }
}

namespace {

class CountingClock : public bp::CClockCtrl {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        bp::CClockCtrl::paintEvent(event);
    }
};

struct FakeTime {
    std::time_t now = kSunday6Dec2026;
};

} // namespace

TEST(ClockCtrl, StartsItsTimerAndShowsNothingBeforeTheFirstTick) {
    bp::CClockCtrl clock;
    EXPECT_TRUE(clock.IsTimerRunning());
    EXPECT_EQ(clock.TimerInterval(), 900);
    EXPECT_TRUE(clock.GetText().isEmpty());
    EXPECT_TRUE(clock.IsLocalTime());
}

TEST(ClockCtrl, RepaintsOnlyWhenTheSecondChanges) {
    const ScopedTimeZone zone("UTC0");
    FakeTime time;
    CountingClock clock;
    clock.SetTimeSource([&time] { return time.now; });
    clock.resize(220, 20);
    clock.show();
    QApplication::processEvents();
    clock.paints = 0;

    struct Tick {
        std::time_t now;
        bool repaints;
        const char* text;
    };
    const std::vector<Tick> ticks = {
        {kSunday6Dec2026, true, " Sun 6 Dec 2026  12:44:32 AM "},
        {kSunday6Dec2026, false, " Sun 6 Dec 2026  12:44:32 AM "},
        {kSunday6Dec2026 + 1, true, " Sun 6 Dec 2026  12:44:33 AM "},
        {kSunday6Dec2026 + 1, false, " Sun 6 Dec 2026  12:44:33 AM "},
        // The clock set back still shows the new time.
        {kSunday6Dec2026 - 60, true, " Sun 6 Dec 2026  12:43:32 AM "},
    };
    for (const Tick& t : ticks) {
        time.now = t.now;
        const int before = clock.paints;
        clock.OnTimer();
        QApplication::processEvents();
        EXPECT_EQ(clock.paints - before, t.repaints ? 1 : 0) << t.now;
        EXPECT_EQ(clock.GetText().toStdString(), t.text) << t.now;
    }
}

TEST(ClockCtrl, UtcModeShowsUtcWhateverTheZone) {
    const ScopedTimeZone zone("EST5");
    bp::CClockCtrl clock;
    clock.SetTimeSource([] { return kSunday6Dec2026; });
    clock.SetLocalTime(false);
    clock.OnTimer();
    EXPECT_EQ(clock.GetText().toStdString(), " 6 Dec 2026  0:44:32 UTC ");
}

namespace {

struct InkBox {
    int left = -1, right = -1, top = -1, bottom = -1;
};

InkBox Ink(const QImage& image, bp::COLORREF background) {
    InkBox box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (bp::FromQColor(image.pixelColor(x, y)) == background) {
                continue;
            }
            box.left = box.left < 0 ? x : std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = box.top < 0 ? y : std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

} // namespace

TEST(ClockCtrl, TextIsCentredAndSitsInTheTopCell) {
    for (const int height : {20, 15, 30}) {
        bp::CClockCtrl clock;
        clock.SetTimeSource([] { return kSunday6Dec2026; });
        clock.SetLocalTime(false);
        clock.m_TextColor = 0x00804040;
        clock.resize(300, height);
        clock.OnTimer();
        QImage image(clock.size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        clock.render(&image);

        const InkBox ink = Ink(image, bp::ButtonFaceColor());
        ASSERT_GE(ink.left, 0) << "no text drawn at height " << height;
        const int cell = bp::ClockFontCellHeight(height);
        EXPECT_LT(ink.bottom, cell) << height;
        EXPECT_LE(std::abs(ink.left - (299 - ink.right)), 3)
            << height << ": " << ink.left << ".." << ink.right;
        // The ink is in the text colour or blends of it with the background, never anything else.
        bool sawDark = false;
        for (int y = ink.top; y <= ink.bottom; ++y) {
            for (int x = ink.left; x <= ink.right; ++x) {
                const QColor c = image.pixelColor(x, y);
                EXPECT_LE(c.red(), bp::ToQColor(bp::ButtonFaceColor()).red()) << x << "," << y;
                sawDark = sawDark || (c.red() <= 0x60 && c.blue() >= c.red());
            }
        }
        EXPECT_TRUE(sawDark) << height;
    }
}

TEST(ClockCtrl, EmptyTextPaintsOnlyTheBackground) {
    bp::CClockCtrl clock;
    clock.resize(200, 20);
    QImage image(clock.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    clock.render(&image);
    EXPECT_EQ(Ink(image, bp::ButtonFaceColor()).left, -1);
}
