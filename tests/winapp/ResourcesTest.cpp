// The Windows program's resources as the program loads them (under Wine): texts, the menu and its commands,
// the accelerators, the icon, the version from the one version number, and the dialog templates with their
// controls where the dialog units put them.
#include "base/Version.h"
#include "base/win32/Utf16.h"
#include "winapp/ClockControl.h"
#include "winapp/ResourceIds.h"
#include "winapp/StatusControl.h"
#include "winapp/WindowPicture.h"

#include <array>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace brenwick;
using namespace brenwick::winapp;

namespace {

HINSTANCE Module() {
    return ::GetModuleHandleW(nullptr);
}

std::string String(UINT id) {
    wchar_t text[256] = {};
    ::LoadStringW(Module(), id, text, 256);
    return Narrow(text);
}

// "id:text" for each item of a menu (a separator is "-", a pop-up "[text]", a greyed item ends in " (grey)").
std::vector<std::string> Items(HMENU menu) {
    std::vector<std::string> items;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = 128;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        if ((info.fType & MFT_SEPARATOR) != 0) {
            items.emplace_back("-");
        } else if (info.hSubMenu != nullptr) {
            std::string item = "[";
            item += Narrow(text);
            item += ']';
            items.push_back(item);
        } else {
            std::string item = std::to_string(info.wID);
            item += ':';
            item += Narrow(text);
            item += (info.fState & MFS_GRAYED) != 0 ? " (grey)" : "";
            items.push_back(item);
        }
    }
    return items;
}

TEST(Resources, TextsMenuAcceleratorsIconAndVersion) {
    EXPECT_EQ(String(IDS_APP_TITLE), "Brenwick");
    EXPECT_EQ(String(IDR_MAINFRAME),
              "Brenwick\n\nFlash\nFlash Files (*.hex; *.bin)\n.hex;*.bin\nBrenwick.Document\nFlash Document");

    HMENU menu = ::LoadMenuW(Module(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Items(menu), (std::vector<std::string>{"[&File]", "[&View]", "32773:&PortSetup", "[&Help]"}));
    EXPECT_EQ(Items(::GetSubMenu(menu, 0)),
              (std::vector<std::string>{"57601:&Open...\tCtrl+O", "32771:Stay On Top", "-",
                                        "57616:Recent File (grey)", "-", "57665:E&xit"}));
    EXPECT_EQ(Items(::GetSubMenu(menu, 1)), (std::vector<std::string>{"32775:&Production\tCtrl+P"}));
    EXPECT_EQ(Items(::GetSubMenu(menu, 3)),
              (std::vector<std::string>{"57664:&About Brenwick...", "57667:&Help..."}));
    ::DestroyMenu(menu);

    HACCEL accelerators = ::LoadAcceleratorsW(Module(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(accelerators, nullptr);
    ACCEL keys[8] = {};
    const int count = ::CopyAcceleratorTableW(accelerators, keys, 8);
    ASSERT_EQ(count, 3);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(keys[i].fVirt & (FVIRTKEY | FCONTROL), FVIRTKEY | FCONTROL);
        const WORD command = keys[i].key == 'N'   ? ID_FILE_NEW
                             : keys[i].key == 'O' ? ID_FILE_OPEN
                                                  : ID_VIEW_PRODUCTION;
        EXPECT_EQ(keys[i].cmd, command) << keys[i].key;
    }

    EXPECT_NE(::FindResourceW(Module(), MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(14)), nullptr)
        << "icon group"; // RT_GROUP_ICON

    // The version resource says the one version number.
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const DWORD size = ::GetFileVersionInfoSizeW(path, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, block.data()));
    wchar_t* version = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                                 reinterpret_cast<void**>(&version), &length));
    EXPECT_EQ(Narrow(version), kVersion);
}

// A control's place in the dialog's pixels: x, y, width, height.
std::array<long, 4> Place(HWND dialog, int id) {
    RECT r{};
    ::GetWindowRect(::GetDlgItem(dialog, id), &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// Whether a control sits where its dialog units put it. The dialog converts them with rounding of its own
// (by edges or by sizes, depending on the system), so a pixel either way is the same place.
void ExpectAt(HWND dialog, int id, int x, int y, int w, int h) {
    RECT units{x, y, w, h};
    ::MapDialogRect(dialog, &units);
    const std::array<long, 4> want = {units.left, units.top, units.right, units.bottom};
    const std::array<long, 4> got = Place(dialog, id);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_LE(std::labs(got[i] - want[i]), 1) << "control " << id << ", field " << i;
    }
}

std::string ClassOf(HWND dialog, int id) {
    wchar_t name[64] = {};
    ::GetClassNameW(::GetDlgItem(dialog, id), name, 64);
    return Narrow(name);
}

INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// The panel's form: each control of its class, where its dialog units put it.
TEST(Resources, ThePanelsFormHasItsControlsInPlace) {
    REQUIRE_DISPLAY();
    ASSERT_TRUE(RegisterStatusControl(Module()));
    ASSERT_TRUE(RegisterClockControl(Module()));
    const test::CWindow parent(L"STATIC", 600, 400);
    HWND form = ::CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_PANEL_FORM), parent.Get(), NoHandling, 0);
    ASSERT_NE(form, nullptr) << ::GetLastError();
    const struct {
        int id;
        const char* className;
        int x, y, w, h;
    } controls[] = {
        {IDC_CLOCK, "MFCClockCtrl", 4, 84, 150, 11}, {IDC_START, "Button", 57, 32, 43, 14},
        {IDC_IDENTITY, "Static", 4, 4, 150, 12},     {IDC_STATUS, "MFCStatusCtrl", 4, 48, 150, 11},
        {IDC_ONLINE, "Button", 8, 32, 42, 14},       {IDC_GEOMETRY, "Static", 4, 18, 150, 12},
        {IDC_MAKE_BIN, "Button", 111, 32, 39, 14},   {IDC_OUTCOME, "Static", 4, 61, 150, 21},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.id);
        EXPECT_STRCASEEQ(ClassOf(form, c.id).c_str(), c.className);
        ExpectAt(form, c.id, c.x, c.y, c.w, c.h);
    }
    wchar_t text[32] = {};
    ::GetDlgItemTextW(form, IDC_ONLINE, text, 32);
    EXPECT_EQ(Narrow(text), "&Online");
    ::DestroyWindow(form);
}

TEST(Resources, TheAboutBoxAndThePortSetupDialog) {
    REQUIRE_DISPLAY();
    HWND about = ::CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_ABOUTBOX), nullptr, NoHandling, 0);
    ASSERT_NE(about, nullptr) << ::GetLastError();
    wchar_t text[64] = {};
    ::GetWindowTextW(about, text, 64);
    EXPECT_EQ(Narrow(text), "About Brenwick");
    bool versionShown = false;
    for (HWND child = ::GetWindow(about, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::GetWindowTextW(child, text, 64);
        versionShown = versionShown || Narrow(text) == std::string("Brenwick Version ") + kVersion;
    }
    EXPECT_TRUE(versionShown);
    ::DestroyWindow(about);

    HWND setup = ::CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_PORT_SETUP), nullptr, NoHandling, 0);
    ASSERT_NE(setup, nullptr) << ::GetLastError();
    ::GetWindowTextW(setup, text, 64);
    EXPECT_EQ(Narrow(text), "Serial COM Port Selection");
    EXPECT_STRCASEEQ(ClassOf(setup, IDC_PORT_LIST).c_str(), "ComboBox");
    EXPECT_STRCASEEQ(ClassOf(setup, IDC_BAUD_LIST).c_str(), "ComboBox");
    ExpectAt(setup, IDOK, 22, 42, 50, 14);
    ExpectAt(setup, IDCANCEL, 89, 42, 50, 14);
    ::DestroyWindow(setup);
}

} // namespace
