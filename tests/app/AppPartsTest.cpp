// The desktop program's parts that need no window: the stored window placement, the panel's state table and
// texts, the command line, the recent files and pulling a window back onto a screen.
#include "app/CommandLine.h"
#include "app/FramePlacement.h"
#include "app/PanelState.h"
#include "app/RecentFiles.h"
#include "app/WindowPlacement.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

using namespace brenwick;

namespace {

using namespace brenwick::app;

struct PlacementCase {
    const char* name;
    const char* text;
    bool parses;
    WindowPlacement placement;
    bool stayOnTop;
};

class WindowPosText : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(WindowPosText, ParsesAsTheTenFieldFormat) {
    const PlacementCase& c = GetParam();
    const auto parsed = ParseWindowPos(c.text);
    ASSERT_EQ(parsed.has_value(), c.parses) << c.text;
    if (c.parses) {
        EXPECT_EQ(parsed->placement, c.placement) << c.text;
        EXPECT_EQ(parsed->stayOnTop, c.stayOnTop) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowPosText,
    ::testing::Values(PlacementCase{"StayOnTopNormal",
                                    "32768:1:0:0:0:0:100:100:420:300",
                                    true,
                                    {0, 1, 0, 0, 0, 0, 100, 100, 420, 300},
                                    true},
                      PlacementCase{"HexFlagsMaximised",
                                    "0x8002:3:0:0:0:0:0:0:400:300",
                                    true,
                                    {2, 3, 0, 0, 0, 0, 0, 0, 400, 300},
                                    true},
                      PlacementCase{"OctalAndNegative",
                                    "010:1:-1:-1:-8:-8:-20:030:0x1F4:400",
                                    true,
                                    {8, 1, -1, -1, -8, -8, -20, 24, 500, 400},
                                    false},
                      PlacementCase{"ElevenFieldsUseTen",
                                    "0:1:0:0:0:0:10:10:300:200:77",
                                    true,
                                    {0, 1, 0, 0, 0, 0, 10, 10, 300, 200},
                                    false},
                      PlacementCase{"TrailingTextIgnored",
                                    "0:1:0:0:0:0:10:10:300:200xyz",
                                    true,
                                    {0, 1, 0, 0, 0, 0, 10, 10, 300, 200},
                                    false},
                      PlacementCase{"NineFields", "0:1:0:0:0:0:10:10:300", false, {}, false},
                      PlacementCase{"NineFieldsWithStayOnTop", "32768:1:0:0:0:0:10:10:300", false, {}, false},
                      PlacementCase{"NotANumber", "0:1:0:0:0:x:10:10:300:200", false, {}, false},
                      PlacementCase{"WrongSeparator", "0;1;0;0;0;0;10;10;300;200", false, {}, false},
                      PlacementCase{"Empty", "", false, {}, false},
                      PlacementCase{"Overflow", "99999999999:1:0:0:0:0:10:10:300:200", false, {}, false}),
    CaseName<PlacementCase>);

TEST(WindowPosText, FormatsTheStayOnTopBitIntoTheFlags) {
    const WindowPlacement normal{0, 1, 0, 0, 0, 0, 100, 100, 420, 300};
    EXPECT_EQ(FormatWindowPos(normal, true), "32768:1:0:0:0:0:100:100:420:300");
    EXPECT_EQ(FormatWindowPos(normal, false), "0:1:0:0:0:0:100:100:420:300");
    const WindowPlacement withBit{kStayOnTopFlag | kRestoreToMaximized, 3, -1, -1, -8, -8, 0, 0, 400, 300};
    EXPECT_EQ(FormatWindowPos(withBit, false), "2:3:-1:-1:-8:-8:0:0:400:300");
    // Written, then read: the same record.
    const auto back = ParseWindowPos(FormatWindowPos(withBit, true));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->placement.flags, kRestoreToMaximized);
    EXPECT_TRUE(back->stayOnTop);
}

struct PaintCase {
    const char* name;
    int32_t state;
    bool fileLoaded;
    const char* text;
    brenwick::panel::COLORREF lamp;
    StatePaint::Lines lines;
    bool progress;
    bool everyTick;
};

class PanelStateTable : public ::testing::TestWithParam<PaintCase> {};

TEST_P(PanelStateTable, GivesTextLampAndLines) {
    const PaintCase& c = GetParam();
    const StatePaint paint = PaintFor(c.state, c.fileLoaded);
    EXPECT_STREQ(paint.text, c.text);
    EXPECT_EQ(paint.lamp, c.lamp);
    EXPECT_EQ(paint.lines, c.lines);
    EXPECT_EQ(paint.showsProgress, c.progress);
    EXPECT_EQ(paint.repaintsEveryTick, c.everyTick);
}

using L = StatePaint::Lines;
INSTANTIATE_TEST_SUITE_P(
    Cases, PanelStateTable,
    ::testing::Values(
        PaintCase{"Connected", 0, true, "Connected", 0x0000FF00, L::Device, false, false},
        PaintCase{"FileNotLoaded", 0, false, "File Not Loaded", 0x000000FF, L::Device, false, false},
        PaintCase{"PortFailed", 1, true, "COM Port Failed To Open", 0x000000FF, L::Unchanged, false, false},
        PaintCase{"NotConnected", 2, false, "Not Connected", 0x000000FF, L::Unchanged, false, false},
        PaintCase{"OffLine", 3, true, "Off Line", 0x00808080, L::Cleared, false, false},
        PaintCase{"Programming", 4, true, "Programming", 0x0000FFFF, L::Unchanged, true, true},
        PaintCase{"ProgrammingError", 5, false, "Programming Error", 0x0000FFFF, L::Unchanged, false, true}),
    CaseName<PaintCase>);

TEST(PanelTexts, IdentityLineShowsRevisionsInFiveCharacters) {
    const struct {
        uint16_t flash;
        uint16_t boot;
        const char* expected;
    } cases[] = {
        {125, 100, "Board  (Flash Rev  1.25  Boot Rev     1)"},
        {1234, 0, "Board  (Flash Rev 12.34  Boot Rev     0)"},
        {65535, 7, "Board  (Flash Rev 655.35  Boot Rev  0.07)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IdentityText("Board", c.flash, c.boot), c.expected);
    }
}

TEST(PanelTexts, GeometryLineHasTheFixedLayout) {
    EXPECT_EQ(GeometryText("SIM000001", 262144, 256, 16384),
              "SN=SIM000001 Size = 262144 Page = 256 BootLen = 16384");
    EXPECT_EQ(GeometryText("", -1, 0, 0), "SN= Size = -1 Page = 0 BootLen = 0");
}

TEST(CommandLine, ReadsOptionsAndOneFile) {
    const struct {
        std::vector<std::string> args;
        bool help, version, demo;
        const char* file;
        bool error;
    } cases[] = {
        {{}, false, false, false, "", false},
        {{"fw.hex"}, false, false, false, "fw.hex", false},
        {{"--demo"}, false, false, true, "", false},
        {{"--help"}, true, false, false, "", false},
        {{"-v"}, false, true, false, "", false},
        {{"--", "-odd.hex"}, false, false, false, "-odd.hex", false},
        {{"--bogus"}, false, false, false, "", true},
        {{"a.hex", "b.hex"}, false, false, false, "a.hex", true},
    };
    for (const auto& c : cases) {
        const AppOptions o = ParseCommandLine(c.args);
        EXPECT_EQ(o.help, c.help);
        EXPECT_EQ(o.version, c.version);
        EXPECT_EQ(o.demo, c.demo);
        EXPECT_EQ(o.file, c.file);
        EXPECT_EQ(!o.error.empty(), c.error);
    }
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
        {{100, 100, 320, 200}, {100, 100, 320, 200}},    // on the first screen
        {{2000, 500, 320, 200}, {2000, 500, 320, 200}},  // on the second
        {{1900, 100, 320, 200}, {1900, 100, 320, 200}},  // across both
        {{-200, 100, 320, 200}, {-200, 100, 320, 200}},  // 120 pixels still show
        {{-300, 100, 320, 200}, {0, 100, 320, 200}},     // 20 pixels cannot be grabbed: pulled in
        {{5000, 5000, 320, 200}, {1600, 880, 320, 200}}, // beyond every screen: back onto the first
        {{-2000, -900, 320, 200}, {0, 0, 320, 200}},     // left of and above it
        {{4000, 100, 4000, 3000}, {0, 0, 1920, 1080}},   // larger than the screen: shrunk to fit
    };
    for (const auto& c : cases) {
        const QRect placed = PullOntoScreens(c.window, screens);
        EXPECT_EQ(placed, c.expected) << c.window.x() << "," << c.window.y();
    }
    EXPECT_EQ(PullOntoScreens(QRect(5000, 5000, 10, 10), {}), QRect(5000, 5000, 10, 10));
}

} // namespace
