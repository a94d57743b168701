// The desktop program's parts that need no window: the stored window placement text, the panel's state table
// and line texts, the command line, the recent files and pulling a window back onto a screen.
#include "app/CommandLine.h"
#include "app/FramePlacement.h"
#include "app/PanelState.h"
#include "app/RecentFiles.h"
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

using namespace brenwick::app;

namespace {

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
// link's tests), a state outside the table, and Programming Error repainting on every tick without progress.
TEST(PanelStateTable, GivesTextLampLinesAndRepaint) {
    using L = StatePaint::Lines;
    using namespace brenwick::panel;
    const std::pair<int32_t, StatePaint> cases[] = {
        {1, {"COM Port Failed To Open", kLampRed, "port failed to open", L::Unchanged, false, false}},
        {2, {"Not Connected", kLampRed, "not connected", L::Unchanged, false, false}},
        {5, {"Programming Error", kLampYellow, "programming failed", L::Unchanged, false, true}},
        {~4, {"Not Connected", kLampRed, "not connected", L::Unchanged, false, false}},
        {6, {"Not Connected", kLampRed, "not connected", L::Unchanged, false, false}},
    };
    for (const auto& [state, want] : cases) {
        const StatePaint paint = PaintFor(state, true);
        EXPECT_STREQ(paint.text, want.text) << state;
        EXPECT_EQ(paint.lamp, want.lamp) << state;
        EXPECT_STREQ(paint.lampMeaning, want.lampMeaning) << state;
        EXPECT_EQ(paint.lines, want.lines) << state;
        EXPECT_EQ(paint.showsProgress, want.showsProgress) << state;
        EXPECT_EQ(paint.repaintsEveryTick, want.repaintsEveryTick) << state;
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

TEST(RecentFileList, KeepsThreeNewestWithoutDuplicates) {
    CRecentFiles recent;
    for (const char* file : {"/a.hex", "/b.hex", "/c.hex", "/d.bin", "/b.hex"}) {
        recent.Add(QString::fromLatin1(file));
    }
    EXPECT_EQ(recent.Files(), (QStringList{"/b.hex", "/d.bin", "/c.hex"}));
    recent.Remove(QStringLiteral("/d.bin"));
    EXPECT_EQ(recent.Files(), (QStringList{"/b.hex", "/c.hex"}));
    recent.Set({"/x.hex", "/y.hex", "/x.hex", "/z.hex", "/w.hex"});
    EXPECT_EQ(recent.Files(), (QStringList{"/x.hex", "/y.hex", "/z.hex"}));
}

TEST(ScreenPlacement, PullsOnlyWindowsThatNoScreenShows) {
    const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const std::pair<QRect, QRect> cases[] = {
        // the window, and where it goes
        {{1900, 100, 320, 200}, {1900, 100, 320, 200}},  // across both screens
        {{-200, 100, 320, 200}, {-200, 100, 320, 200}},  // 120 pixels still show
        {{-300, 100, 320, 200}, {0, 100, 320, 200}},     // 20 pixels cannot be grabbed: pulled in
        {{5000, 5000, 320, 200}, {1600, 880, 320, 200}}, // beyond every screen: back onto the first
        {{4000, 100, 4000, 3000}, {0, 0, 1920, 1080}},   // larger than the screen: shrunk to fit
    };
    for (const auto& [window, expected] : cases) {
        EXPECT_EQ(PullOntoScreens(window, screens), expected) << window.x() << "," << window.y();
    }
    EXPECT_EQ(PullOntoScreens(QRect(5000, 5000, 10, 10), {}), QRect(5000, 5000, 10, 10));
}

} // namespace
