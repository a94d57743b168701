// The status bar as a window class of its own, drawn into a bitmap the test reads pixel by pixel (under
// Wine): the fill, the lamp, the text colour that changes at the fill's edge, the frame, the progress kept
// within its range, and what screen readers are told.
#include "winapp/StatusControl.h"

#include "panel/ColorRef.h"
#include "winapp/WindowPicture.h"

#include <gtest/gtest.h>
#include <memory>
#include <oleacc.h>
#include <string>

using namespace brenwick;
using namespace brenwick::winapp;

namespace {

// A status control of the given size, not shown; destroyed with this object.
class CControl : public test::CWindow {
  public:
    CControl(int width, int height) : CWindow(Registered(), width, height) {}

  private:
    static const wchar_t* Registered() {
        EXPECT_TRUE(RegisterStatusControl(::GetModuleHandleW(nullptr)));
        return kStatusClassName;
    }
};

TEST(StatusControl, TheProgressStaysWithinItsRange) {
    REQUIRE_DISPLAY();
    const CControl control(220, 20);
    const struct {
        uint32_t pos, previous, stored;
    } steps[] = {{50, 0, 50}, {150, 50, 100}, {7, 100, 7}, {0xFFFFFFFFu, 7, 100}, {0, 100, 0}};
    for (const auto& step : steps) {
        EXPECT_EQ(SetStatusPos(control.Get(), step.pos), step.previous) << step.pos;
        EXPECT_EQ(GetStatusPos(control.Get()), step.stored) << step.pos;
    }
}

// 220 x 20 at half way: fill up to x 100, the button face after it, the lamp inscribed in (203,3)-(217,17)
// on the button face, the etched frame on the outer two pixels.
TEST(StatusControl, FillLampAndFrame) {
    REQUIRE_DISPLAY();
    const CControl control(220, 20);
    SetStatusPos(control.Get(), 50);
    SetStatusLampColor(control.Get(), panel::kLampRed);
    const test::CPicture picture(control.Get(), 220, 20);
    const panel::COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(picture.At(50, 10), panel::kBarCyan);
    EXPECT_EQ(picture.At(99, 10), panel::kBarCyan);
    EXPECT_EQ(picture.At(100, 10), face);
    EXPECT_EQ(picture.At(199, 10), face);
    EXPECT_EQ(picture.At(210, 10), panel::kLampRed); // the lamp's centre
    EXPECT_EQ(picture.At(203, 3), face);             // the square's corner, outside the circle
    EXPECT_EQ(picture.At(201, 10), face);
    EXPECT_NE(picture.At(0, 10), panel::kBarCyan); // the frame covers the outer pixels
    EXPECT_NE(picture.At(219, 10), face);

    SetStatusLampColor(control.Get(), panel::kLampYellow);
    SetStatusPos(control.Get(), 100);
    const test::CPicture full(control.Get(), 220, 20);
    EXPECT_EQ(full.At(210, 10), panel::kLampYellow);
    EXPECT_EQ(full.At(197, 10), panel::kBarCyan); // the fill reaches the lamp
}

// Text over the unfilled part is in the button text colour, over the fill in the desktop colour: with the
// boundary in the middle of the text, each colour shows on its own side only.
TEST(StatusControl, TheTextChangesColourAtTheFillsEdge) {
    REQUIRE_DISPLAY();
    const CControl control(220, 20);
    ASSERT_TRUE(::SetWindowTextW(control.Get(), L"MMMMMMMMMMMMMMMM"));
    wchar_t shown[64] = {};
    ::GetWindowTextW(control.Get(), shown, 64);
    EXPECT_EQ(std::wstring(shown), L"MMMMMMMMMMMMMMMM"); // what a screen reader reads
    SetStatusPos(control.Get(), 50);                     // boundary at x 100, the text centred over it
    const test::CPicture picture(control.Get(), 220, 20);
    const panel::COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
    const panel::COLORREF desktop = ::GetSysColor(COLOR_BACKGROUND);
    ASSERT_NE(text, desktop);
    EXPECT_GT(picture.Count(2, 100, 20, desktop), 0);
    EXPECT_EQ(picture.Count(2, 100, 20, text), 0);
    EXPECT_GT(picture.Count(100, 198, 20, text), 0);
    EXPECT_EQ(picture.Count(100, 198, 20, desktop), 0);

    SetStatusPos(control.Get(), 0); // no fill: all of it in the text colour
    const test::CPicture empty(control.Get(), 220, 20);
    EXPECT_GT(empty.Count(2, 100, 20, text), 0);
    EXPECT_EQ(empty.Count(2, 198, 20, desktop), 0);

    ASSERT_TRUE(::SetWindowTextW(control.Get(), L"")); // no text: bar and lamp only
    SetStatusPos(control.Get(), 50);
    const test::CPicture bare(control.Get(), 220, 20);
    EXPECT_EQ(bare.Count(2, 100, 18, panel::kBarCyan), 98 * 16);
}

// What a screen reader asks the bar for: a progress bar named by the status text, its value the progress.
TEST(StatusControl, ScreenReadersReadTheTextAndTheProgress) {
    REQUIRE_DISPLAY();
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        const CControl control(220, 20);
        ::SetWindowTextW(control.Get(), L"Programming");
        SetStatusPos(control.Get(), 45);
        IAccessible* object = nullptr;
        ASSERT_EQ(::AccessibleObjectFromWindow(control.Get(), static_cast<DWORD>(OBJID_CLIENT),
                                               __uuidof(IAccessible), reinterpret_cast<void**>(&object)),
                  S_OK);
        const std::unique_ptr<IAccessible, void (*)(IAccessible*)> held(object,
                                                                        [](IAccessible* a) { a->Release(); });
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        const auto text = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
            BSTR value = nullptr;
            EXPECT_EQ((object->*get)(self, &value), S_OK);
            const std::wstring result = value != nullptr ? std::wstring(value, ::SysStringLen(value)) : L"";
            ::SysFreeString(value);
            return result;
        };
        EXPECT_EQ(text(&IAccessible::get_accName), L"Programming");
        EXPECT_EQ(text(&IAccessible::get_accValue), L"45%");
        SetStatusPos(control.Get(), 100);
        EXPECT_EQ(text(&IAccessible::get_accValue), L"100%");
        VARIANT role{};
        ASSERT_EQ(object->get_accRole(self, &role), S_OK);
        EXPECT_EQ(role.vt, VT_I4);
        EXPECT_EQ(role.lVal, ROLE_SYSTEM_PROGRESSBAR);
    }
    ::CoUninitialize();
}

} // namespace
