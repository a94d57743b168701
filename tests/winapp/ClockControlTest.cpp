// The date-and-time line as a window class of its own (under Wine): the text of the current second, a
// repaint only when the second changes, and the text drawn in its colour, centred, inside its cell.
#include "winapp/ClockControl.h"

#include "base/win32/Utf16.h"
#include "panel/ClockFormat.h"
#include "winapp/WindowPicture.h"

#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <thread>

using namespace brenwick;
using namespace brenwick::winapp;

namespace {

class CClock : public test::CWindow {
  public:
    // Shown: only a visible window keeps a region to repaint.
    CClock(int width, int height) : CWindow(Registered(), width, height, WS_POPUP | WS_VISIBLE) {
        ::UpdateWindow(Get());
    }
    std::string Text() const {
        wchar_t text[128] = {};
        ::GetWindowTextW(Get(), text, 128);
        return Narrow(text);
    }
    void Tick() const { ::SendMessageW(Get(), WM_TIMER, 6, 0); }
    bool RepaintPending() const { return ::GetUpdateRect(Get(), nullptr, FALSE) != FALSE; }

  private:
    static const wchar_t* Registered() {
        EXPECT_TRUE(RegisterClockControl(::GetModuleHandleW(nullptr)));
        return kClockClassName;
    }
};

TEST(ClockControl, ATickShowsTheSecondAndRepaintsOnlyWhenItChanges) {
    REQUIRE_DISPLAY();
    const CClock clock(300, 20);
    EXPECT_EQ(clock.Text(), ""); // empty until the first tick
    const std::time_t before = std::time(nullptr);
    clock.Tick();
    const std::time_t after = std::time(nullptr);
    const std::string shown = clock.Text();
    EXPECT_TRUE(shown == panel::FormatClockText(before, true) || shown == panel::FormatClockText(after, true))
        << shown;
    EXPECT_TRUE(clock.RepaintPending());

    ::ValidateRect(clock.Get(), nullptr);
    clock.Tick(); // most likely the same second: nothing changes
    if (clock.Text() == shown) {
        EXPECT_FALSE(clock.RepaintPending());
    }
    // The next second changes the text and repaints.
    const std::time_t start = std::time(nullptr);
    while (std::time(nullptr) == start) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::ValidateRect(clock.Get(), nullptr);
    clock.Tick();
    EXPECT_NE(clock.Text(), shown);
    EXPECT_TRUE(clock.RepaintPending());
}

// A control 20 pixels high takes an 18-pixel cell: the text, in its colour on the button face, stays above
// the cell's bottom edge and is centred across.
TEST(ClockControl, TheTextIsDrawnInItsColourCentredInItsCell) {
    REQUIRE_DISPLAY();
    const int width = 300;
    const int height = 20;
    const CClock clock(width, height);
    SetClockTextColor(clock.Get(), kClockTextColor);
    clock.Tick();
    const test::CPicture picture(clock.Get(), width, height);
    long sumX = 0;
    int count = 0;
    int lowest = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (picture.At(x, y) == kClockTextColor) {
                sumX += x;
                ++count;
                lowest = y;
            }
        }
    }
    ASSERT_GT(count, 50) << "no text drawn in the clock's colour";
    EXPECT_LT(lowest, panel::ClockFontCellHeight(height));
    const long centre = sumX / count;
    EXPECT_NEAR(centre, width / 2, width / 8);
    EXPECT_EQ(picture.At(2, height - 1), ::GetSysColor(COLOR_BTNFACE));
}

} // namespace
