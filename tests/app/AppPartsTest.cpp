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

// %i fields: decimal, 0x hex and leading-0 octal; the stay-on-top bit comes out of the flags.
TEST(WindowPosText, ParsesTheTenFieldFormat) {
    const struct {
        const char* text;
        std::optional<WindowPlacement> placement; // nullopt: restores nothing
        bool stayOnTop;
    } cases[] = {
        {"32768:1:0:0:0:0:100:100:420:300", WindowPlacement{0, 1, 0, 0, 0, 0, 100, 100, 420, 300}, true},
        {"0x8002:3:0:0:0:0:0:0:400:300", WindowPlacement{2, 3, 0, 0, 0, 0, 0, 0, 400, 300}, true},
        {"010:1:-1:-1:-8:-8:-20:030:0x1F4:400", WindowPlacement{8, 1, -1, -1, -8, -8, -20, 24, 500, 400},
         false},
        {"0:1:0:0:0:0:10:10:300:200:77", WindowPlacement{0, 1, 0, 0, 0, 0, 10, 10, 300, 200}, false},
        {"0:1:2147483647:-2147483648:0:0:10:10:300:200",
         WindowPlacement{0, 1, 2147483647, -2147483647 - 1, 0, 0, 10, 10, 300, 200}, false},
        {"0:1:0:0:0:0:10:10:300:200xyz", WindowPlacement{0, 1, 0, 0, 0, 0, 10, 10, 300, 200}, false},
        {"32768:1:0:0:0:0:10:10:300", std::nullopt, false},
        {"0:1:0:0:0:x:10:10:300:200", std::nullopt, false},
        {"0;1;0;0;0;0;10;10;300;200", std::nullopt, false},
        {"", std::nullopt, false},
        {"2147483648:1:0:0:0:0:10:10:300:200", std::nullopt, false},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseWindowPos(c.text);
        ASSERT_EQ(parsed.has_value(), c.placement.has_value()) << c.text;
        if (parsed) {
            EXPECT_EQ(parsed->placement, *c.placement) << c.text;
            EXPECT_EQ(parsed->stayOnTop, c.stayOnTop) << c.text;
        }
    }
    // Nine fields in a view into longer text: what follows the view is not read.
    EXPECT_FALSE(ParseWindowPos(std::string_view("0:1:0:0:0:0:10:10:300:200").substr(0, 21)).has_value());
}

// The complement rule: Programming and Programming Error repaint on every tick, the others once per change.
TEST(PanelStateTable, GivesTextLampLinesAndRepaint) {
    using L = StatePaint::Lines;
    using namespace brenwick::panel;
    const struct {
        int32_t state;
        bool fileLoaded;
        const char* text;
        COLORREF lamp;
        L lines;
        bool progress;
        bool everyTick;
    } cases[] = {
        {0, true, "Connected", kLampGreen, L::Device, false, false},
        {0, false, "File Not Loaded", kLampRed, L::Device, false, false},
        {1, true, "COM Port Failed To Open", kLampRed, L::Unchanged, false, false},
        {2, false, "Not Connected", kLampRed, L::Unchanged, false, false},
        {3, true, "Off Line", kLampGrey, L::Cleared, false, false},
        {4, true, "Programming", kLampYellow, L::Unchanged, true, true},
        {5, false, "Programming Error", kLampYellow, L::Unchanged, false, true},
        {~4, true, "Not Connected", kLampRed, L::Unchanged, false, false}, // outside the table
        {6, true, "Not Connected", kLampRed, L::Unchanged, false, false},
    };
    for (const auto& c : cases) {
        const StatePaint paint = PaintFor(c.state, c.fileLoaded);
        EXPECT_STREQ(paint.text, c.text) << c.state;
        EXPECT_EQ(paint.lamp, c.lamp) << c.text;
        EXPECT_EQ(paint.lines, c.lines) << c.text;
        EXPECT_EQ(paint.showsProgress, c.progress) << c.text;
        EXPECT_EQ(paint.repaintsEveryTick, c.everyTick) << c.text;
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
    const struct {
        QRect window;
        QRect expected;
    } cases[] = {
        {{1900, 100, 320, 200}, {1900, 100, 320, 200}},  // across both screens
        {{-200, 100, 320, 200}, {-200, 100, 320, 200}},  // 120 pixels still show
        {{-300, 100, 320, 200}, {0, 100, 320, 200}},     // 20 pixels cannot be grabbed: pulled in
        {{-2000, -900, 320, 200}, {0, 0, 320, 200}},     // left of and above the first screen
        {{5000, 5000, 320, 200}, {1600, 880, 320, 200}}, // beyond every screen: back onto the first
        {{4000, 100, 4000, 3000}, {0, 0, 1920, 1080}},   // larger than the screen: shrunk to fit
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PullOntoScreens(c.window, screens), c.expected) << c.window.x() << "," << c.window.y();
    }
    EXPECT_EQ(PullOntoScreens(QRect(5000, 5000, 10, 10), {}), QRect(5000, 5000, 10, 10));
}

} // namespace
