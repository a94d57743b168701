// Where a window with a stored placement goes on the screens present, shared by the window front ends.
#include "panel/ScreenPlacement.h"

#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace brenwick::panel;

namespace {

// A window's edges from its place and size.
WindowEdges At(int64_t x, int64_t y, int64_t width, int64_t height) {
    return {x, y, x + width, y + height};
}

// "x,y widthxheight", or "none" for a window left at its default place.
std::string Text(const std::optional<Rect>& place) {
    if (!place) {
        return "none";
    }
    return std::to_string(place->x) + "," + std::to_string(place->y) + " " + std::to_string(place->width) +
           "x" + std::to_string(place->height);
}

constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

// A window stays where some screen shows its title bar; it is never larger than the screen it lands on;
// stored edges that make no rectangle leave it at its default place, however far apart they are.
TEST(ScreenPlacement, PullsOnlyWindowsThatNoScreenShows) {
    const std::vector<Rect> screens = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    const struct {
        const char* what;
        WindowEdges window;
        const char* place;
    } cases[] = {
        {"across both screens", At(1900, 100, 320, 200), "1900,100 320x200"},
        {"120 pixels still show", At(-200, 100, 320, 200), "-200,100 320x200"},
        {"20 pixels cannot be grabbed: pulled in", At(-300, 100, 320, 200), "0,100 320x200"},
        {"beyond every screen: back onto the first", At(5000, 5000, 320, 200), "1600,880 320x200"},
        {"larger than the screen: cut to it", At(4000, 100, 4000, 3000), "0,0 1920x1080"},
        {"a huge size on the first screen", {0, 0, 100000, 100000}, "0,0 1920x1080"},
        {"a huge size on the second screen", At(2020, 100, 100000, 100000), "1920,0 1280x1024"},
        {"wider than the second screen only", At(2020, 100, 1500, 300), "1920,100 1280x300"},
        {"title bar above the top, the rest below it", At(100, -100, 400, 300), "100,0 400x300"},
        {"title bar half above the top", At(100, -12, 400, 300), "100,0 400x300"},
        {"title bar at the top", At(100, 0, 400, 300), "100,0 400x300"},
        {"title bar below the bottom", At(100, 1070, 400, 300), "100,780 400x300"},
        {"left beyond right", {500, 100, 400, 300}, "none"},
        {"top beyond bottom", {100, 500, 400, 300}, "none"},
        {"no width", {100, 100, 100, 300}, "none"},
        {"the int's range across, 300 down", {kIntMin, 100, kIntMax, 400}, "0,100 1920x300"},
        {"at the int's far end", {kIntMax - 100, kIntMax - 100, kIntMax, kIntMax}, "1820,980 100x100"},
        {"at the int's near end", {kIntMin, kIntMin, kIntMin + 100, kIntMin + 100}, "0,0 100x100"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(PullOntoScreens(c.window, screens)), c.place) << c.what;
    }
    // Every edge at either end of the int: only the one order that spans the whole range is a window.
    for (unsigned order = 0; order < 16; ++order) {
        const auto edge = [&](unsigned bit) { return (order >> bit & 1U) != 0 ? kIntMax : kIntMin; };
        const WindowEdges window{edge(0), edge(1), edge(2), edge(3)};
        const bool spans = window.left == kIntMin && window.top == kIntMin && window.right == kIntMax &&
                           window.bottom == kIntMax;
        EXPECT_EQ(Text(PullOntoScreens(window, screens)), spans ? "0,0 1920x1080" : "none")
            << window.left << ":" << window.top << ":" << window.right << ":" << window.bottom;
    }
    // A laptop's screen for a placement stored on a larger one.
    const std::vector<Rect> laptop = {{0, 0, 1280, 800}};
    EXPECT_EQ(Text(PullOntoScreens(At(0, 0, 3840, 2160), laptop)), "0,0 1280x800");
    EXPECT_EQ(Text(PullOntoScreens(At(300, 200, 3840, 2160), laptop)), "0,0 1280x800");
    // No screen to fit it to: the stored rectangle, when an int holds it.
    EXPECT_EQ(Text(PullOntoScreens(At(5000, 5000, 10, 10), {})), "5000,5000 10x10");
    EXPECT_EQ(Text(PullOntoScreens({kIntMin, kIntMin, kIntMax, kIntMax}, {})), "none");
}

} // namespace
