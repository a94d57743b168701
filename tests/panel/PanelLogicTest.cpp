// The operator panel's logic that needs no toolkit, shared by the window front ends: the stored window
// placement text, the state table and the device lines, the window program's command line and the clock's
// text, and the recent-file rules.
#include "panel/ClockFormat.h"
#include "panel/ComPortSetting.h"
#include "panel/CommandLine.h"
#include "panel/PanelState.h"
#include "panel/RecentFiles.h"
#include "panel/WindowPlacement.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

using namespace brenwick::panel;

namespace {

std::tm Tm(int year, int month, int day, int weekday, int hour, int minute, int second) {
    std::tm t{};
    std::tie(t.tm_year, t.tm_mon, t.tm_mday, t.tm_wday, t.tm_hour, t.tm_min, t.tm_sec) =
        std::tuple(year - 1900, month - 1, day, weekday, hour, minute, second);
    return t;
}

// The tests that convert seconds choose their zone; the others do not depend on it.
void SetTimeZone(const char* zone) {
#if defined(_WIN32)
    _putenv_s("TZ", zone);
    _tzset();
#else
    setenv("TZ", zone, 1);
    tzset();
#endif
}

// 2026-12-06 00:44:32 UTC, a Sunday.
constexpr std::time_t kSunday6Dec2026 = 1796517872;

// %i fields: decimal, 0x hex and leading-0 octal; the stay-on-top bit comes out of the flags and goes back
// in when written; what follows the tenth field is ignored; anything short of ten numbers restores nothing.
TEST(WindowPosText, ParsesTheTenFieldFormat) {
    const std::pair<std::string_view, const char*> cases[] = {
        {"32768:1:0:0:0:0:100:100:420:300", "32768:1:0:0:0:0:100:100:420:300"},
        {"0x8002:3:0:0:0:0:0:0:400:300", "32770:3:0:0:0:0:0:0:400:300"},
        {"010:1:-1:-1:-8:-8:-20:030:0x1F4:400", "8:1:-1:-1:-8:-8:-20:24:500:400"},
        {"0:1:2147483647:-2147483648:0:0:10:10:300:200xyz", "0:1:2147483647:-2147483648:0:0:10:10:300:200"},
        {"32768:1:0:0:0:0:10:10:300", ""},
        {"0:1:0:0:0:x:10:10:300:200", ""},
        {"", ""},
        {"2147483648:1:0:0:0:0:10:10:300:200", ""},
        // Nine fields in a view into longer text: what follows the view is not read.
        {std::string_view("0:1:0:0:0:0:10:10:300:200").substr(0, 21), ""},
    };
    for (const auto& [text, written] : cases) {
        const auto parsed = ParseWindowPos(text);
        EXPECT_EQ(parsed ? FormatWindowPos(parsed->placement, parsed->stayOnTop) : "", written) << text;
    }
    EXPECT_FALSE(ParseWindowPos("32768:1:0:0:0:0:100:100:420:300")->placement.flags & kStayOnTopFlag);
}

// The rows the panel's tests do not drive it to through a device: the link's failures (whose causes are the
// link's tests), a state outside the table, and Programming Error naming the board on its lines.
TEST(PanelStateTable, GivesTextLampAndLines) {
    using L = StatePaint::Lines;
    const std::pair<int32_t, StatePaint> cases[] = {
        {1, {"COM Port Failed To Open", kLampRed, "port failed to open", L::Unchanged}},
        {2, {"Not Connected", kLampRed, "not connected", L::Unchanged}},
        {5, {"Programming Error", kLampYellow, "programming failed", L::Device}},
        {~4, {"Not Connected", kLampRed, "not connected", L::Unchanged}},
        {6, {"Not Connected", kLampRed, "not connected", L::Unchanged}},
    };
    for (const auto& [state, want] : cases) {
        const StatePaint paint = PaintFor(state, true);
        EXPECT_EQ(paint.text, want.text) << state;
        EXPECT_EQ(paint.lamp, want.lamp) << state;
        EXPECT_STREQ(paint.lampMeaning, want.lampMeaning) << state;
        EXPECT_EQ(paint.lines, want.lines) << state;
    }
}

TEST(PanelTexts, IdentityAndGeometryLines) {
    EXPECT_EQ(IdentityText("Board", 65535, 7), "Board  (Flash Rev 655.35  Boot Rev  0.07)");
    EXPECT_EQ(GeometryText("", -1, 0, 0), "SN= Size = -1 Page = 0 BootLen = 0");
}

TEST(CommandLine, ReadsOptionsAndOneFile) {
    const auto read = [](std::vector<std::string> args) {
        const AppOptions o = ParseCommandLine(args);
        return std::string(o.help ? "help " : "") + (o.version ? "version " : "") + (o.demo ? "demo " : "") +
               (o.error.empty() ? "" : "error ") + o.file;
    };
    EXPECT_EQ(read({}), "");
    EXPECT_EQ(read({"fw.hex"}), "fw.hex");
    EXPECT_EQ(read({"--demo"}), "demo ");
    EXPECT_EQ(read({"--help"}), "help ");
    EXPECT_EQ(read({"-v"}), "version ");
    EXPECT_EQ(read({"--", "-odd.hex"}), "-odd.hex");
    EXPECT_EQ(read({"--bogus"}), "error ");
    EXPECT_EQ(read({"a.hex", "b.hex"}), "error a.hex");
}

TEST(CommandLine, DemoBoards) {
    const struct {
        std::vector<std::string> args;
        int boards;
        bool error;
    } cases[] = {
        {{"--demo", "--boards", "4"}, 4, false},
        {{"--boards=16", "--demo"}, 16, false},
        {{"--demo", "--boards", "1", "fw.hex"}, 1, false},
        {{"--demo", "--boards", "0"}, 0, true},
        {{"--demo", "--boards", "17"}, 0, true},
        {{"--demo", "--boards", "3x"}, 0, true},
        {{"--demo", "--boards"}, 0, true},
        {{"--boards", "2"}, 2, true}, // a production demo only
        {{"--", "--boards", "2"}, 0, true},
    };
    for (const auto& c : cases) {
        const AppOptions o = ParseCommandLine(c.args);
        EXPECT_EQ(o.boards, c.boards) << c.args.back();
        EXPECT_EQ(!o.error.empty(), c.error) << c.args.back() << ": " << o.error;
    }
    EXPECT_NE(UsageText("brenwick").find("--boards N"), std::string::npos);
}

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
        EXPECT_EQ(FormatLocalClockText(c.time), c.local);
        EXPECT_EQ(FormatUtcClockText(c.time), c.utc);
    }
    // A user locale must not translate the names; try a few that may be installed.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"de_DE.UTF-8", "fr_FR.UTF-8", "C.UTF-8"}) {
        std::setlocale(LC_ALL, locale);
        EXPECT_EQ(FormatLocalClockText(cases[2].time), cases[2].local) << locale;
    }
    std::setlocale(LC_ALL, before.c_str());
}

TEST(ClockFormat, ConvertsSecondsToLocalTimeOrUtc) {
    SetTimeZone("CET-1"); // one hour east of UTC, no daylight saving
    EXPECT_EQ(FormatClockText(kSunday6Dec2026, false), " 6 Dec 2026  0:44:32 UTC ");
    EXPECT_EQ(FormatClockText(kSunday6Dec2026, true), " Sun 6 Dec 2026  1:44:32 AM ");
    EXPECT_EQ(FormatClockText(kSunday6Dec2026 - 7200, true), " Sat 5 Dec 2026  11:44:32 PM ");
}

// The clock's font cell is 90 % of the control's height, truncated.
TEST(ClockFormat, FontCellIsNinetyPercent) {
    for (const auto& [height, cell] : {std::pair{20, 18}, {15, 13}, {10, 9}, {11, 9}, {30, 27}, {1, 0}}) {
        EXPECT_EQ(ClockFontCellHeight(height), cell) << height;
    }
}

// The newest first, no duplicates, three at most, whether added one by one or set from the stored list; an
// empty path is not a file.
TEST(RecentFileList, KeepsThreeNewestWithoutDuplicates) {
    using Files = std::vector<std::string>;
    CRecentFiles recent;
    for (const char* file : {"/a.hex", "/b.hex", "", "/c.hex", "/d.bin", "/b.hex"}) {
        recent.Add(file);
    }
    EXPECT_EQ(recent.Files(), (Files{"/b.hex", "/d.bin", "/c.hex"}));
    EXPECT_TRUE(recent.Contains("/d.bin"));
    EXPECT_FALSE(recent.Contains("/a.hex"));
    recent.Remove("/d.bin");
    EXPECT_EQ(recent.Files(), (Files{"/b.hex", "/c.hex"}));
    EXPECT_FALSE(recent.Contains("/d.bin"));
    recent.Set({"/x.hex", "/y.hex", "/x.hex", "/z.hex", "/w.hex"});
    EXPECT_EQ(recent.Files(), (Files{"/x.hex", "/y.hex", "/z.hex"}));
}

// Which names are plain COM ports, kept as their number by the Windows program.
TEST(ComPortSetting, PlainComNamesAndTheirNumbers) {
    const std::pair<std::string_view, std::optional<int>> cases[] = {
        {"COM1", 1},
        {"com5", 5},
        {"CoM255", 255},
        {"\\\\.\\COM12", 12},
        {"COM", std::nullopt},
        {"COM0x", std::nullopt},
        {"COM05", std::nullopt},
        {"COM1 ", std::nullopt},
        {"LPT1", std::nullopt},
        {"\\\\.\\CNCA0", std::nullopt},
        {"/dev/ttyUSB0", std::nullopt},
        {"COM1234567", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [name, number] : cases) {
        EXPECT_EQ(ComPortNumber(name), number) << name;
    }
    EXPECT_EQ(ComPortName(12), "COM12");
}

} // namespace
