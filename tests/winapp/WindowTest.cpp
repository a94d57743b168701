// brenwick.exe's window, run for real against simulated devices reached as COM ports (under Wine, from
// scripts/test-windows): going on line, programming a board byte for byte, the lamp and the lasting outcome
// of each ending, the port setup dialog, the settings in the registry after close and the anchored layout.
#include "support/Firmware.h"
#include "winapp/WindowRig.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <shlobj.h>

using namespace brenwick;
using namespace brenwick::winapp;
using namespace brenwick::winapp::test;

namespace {

// A firmware file whose application area is 0x6100 bytes, and the flash it must leave on the device.
struct Firmware {
    CTempDir dir;
    std::vector<uint8_t> app = firmware::Application(0x6100, firmware::kSam7Word, 0);
    std::string path = firmware::Write(dir, "board.hex", app, true);
    std::vector<uint8_t> flash = firmware::ExpectedFlash(app, 0, 0x40000, 256);
};

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Window, OnlineShowsTheDeviceAndStartProgramsItByteForByte) {
    REQUIRE_DEVICES();
    const Firmware file;
    CWindowRig window({FromScript("BRENWICK_TEST_DEVICE_COM"), "", file.path});
    EXPECT_EQ(TextOf(window.Frame()), "board.hex - Brenwick");
    EXPECT_EQ(window.Text(IDC_STATUS), "Off Line");
    EXPECT_EQ(window.Lamp(), panel::kLampGrey);
    EXPECT_FALSE(::IsWindowEnabled(window.Control(IDC_START)));

    window.Click(IDC_ONLINE);
    ASSERT_TRUE(window.WaitForStatus("Connected"));
    EXPECT_EQ(window.Text(IDC_IDENTITY), "Brenwick SIM  (Flash Rev     1  Boot Rev   1.2)");
    EXPECT_EQ(window.Text(IDC_GEOMETRY), "SN=SIM000001 Size = 262144 Page = 256 BootLen = 16384");
    EXPECT_EQ(::IsDlgButtonChecked(window.Form(), IDC_ONLINE), BST_CHECKED);
    EXPECT_TRUE(::IsWindowEnabled(window.Control(IDC_START)));
    EXPECT_EQ(window.Lamp(), panel::kLampGreen);

    window.Click(IDC_START);
    ASSERT_TRUE(window.WaitForStatus("Programmed", 60000));
    EXPECT_EQ(window.Lamp(), panel::kLampGreen);
    EXPECT_EQ(window.Text(IDC_OUTCOME).rfind("25088 bytes in ", 0), 0U) << window.Text(IDC_OUTCOME);
    const std::string flashOut = WinePath(FromScript("BRENWICK_TEST_DEVICE_FLASH"));
    EXPECT_TRUE(WaitUntil([&] { return ReadAll(flashOut) == file.flash; }, 10000))
        << "the device's flash is not the stamped image";

    // Off line again: the lines clear and the lamp goes grey.
    window.Click(IDC_ONLINE);
    ASSERT_TRUE(window.WaitForStatus("Off Line"));
    EXPECT_EQ(window.Text(IDC_IDENTITY), "");
    EXPECT_EQ(window.Lamp(), panel::kLampGrey);
}

// Each ending is told in words below the status bar and stays there past the link's next polls.
TEST(Window, EveryFailureIsToldAndStays) {
    REQUIRE_DEVICES();
    struct Case {
        const char* name;
        const char* portVariable;
        bool program;
        const char* status;
        panel::COLORREF lamp;
        std::string detail; // PORT stands for the port's name
    };
    const Case cases[] = {
        {"refused page", "BRENWICK_TEST_REFUSING_COM", true, "Programming Error", panel::kLampYellow,
         "page 5 refused by the device (result 1): press Start to program it again"},
        {"silent device", "BRENWICK_TEST_SILENT_COM", false, "Not Connected", panel::kLampRed,
         "the device does not answer on PORT: check the cable, the power and the baud rate"},
        {"missing port", "BRENWICK_TEST_MISSING_COM", false, "COM Port Failed To Open", panel::kLampRed,
         "PORT: no such device: check the port name and that the device is plugged in"},
    };
    const Firmware file;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string port = FromScript(c.portVariable);
        ASSERT_FALSE(port.empty()) << c.portVariable;
        CWindowRig window({port, "", file.path});
        window.Click(IDC_ONLINE);
        if (c.program) {
            // On line, ready for Start (a board left in an unfinished run is ready too).
            ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(window.Control(IDC_START)) != 0; }, 20000))
                << window.Text(IDC_STATUS);
            window.Click(IDC_START);
        }
        ASSERT_TRUE(window.WaitForStatus(c.status, 60000));
        std::string detail = c.detail;
        if (const size_t at = detail.find("PORT"); at != std::string::npos) {
            detail.replace(at, 4, port);
        }
        EXPECT_EQ(window.Text(IDC_OUTCOME), detail);
        EXPECT_EQ(window.Lamp(), c.lamp);
        // Still there a second later: five polls of the link.
        ::Sleep(1000);
        EXPECT_EQ(window.Text(IDC_STATUS), c.status);
        EXPECT_EQ(window.Text(IDC_OUTCOME), detail);
    }
}

HWND WaitForDialog(HWND owner, const std::string& caption);

// Text of a dialog's line with `text` among its children, or nothing.
bool HasLine(HWND dialog, const std::string& text) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (TextOf(child) == text) {
            return true;
        }
    }
    return false;
}

// Firmware for another product: the worker asks on the window's thread and waits; answered, the run ends in
// Programming Error; the window closed while the box is open does not wait for it.
TEST(Window, ProductMismatchAsksInABox) {
    REQUIRE_DEVICES();
    const Firmware file;
    for (const bool closeWhileOpen : {false, true}) {
        SCOPED_TRACE(closeWhileOpen ? "closed while open" : "answered");
        CWindowRig window({FromScript("BRENWICK_TEST_OTHER_PRODUCT_COM"), "", file.path});
        window.Click(IDC_ONLINE);
        ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(window.Control(IDC_START)) != 0; }, 20000))
            << window.Text(IDC_STATUS);
        window.Click(IDC_START);
        HWND box = WaitForDialog(window.Frame(), "Brenwick");
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(HasLine(box, "Invalid .hex file for this Product"));
        if (closeWhileOpen) {
            ::PostMessageW(window.Frame(), WM_CLOSE, 0, 0);
            EXPECT_TRUE(WaitUntil([&] { return ::IsWindow(window.Frame()) == 0; }, 10000));
            continue;
        }
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(window.WaitForStatus("Programming Error"));
        EXPECT_EQ(window.Text(IDC_OUTCOME),
                  "Invalid .hex file for this Product: the file is for product 5A FF A5 "
                  "00, the device is 11 FF A5 00");
        EXPECT_EQ(window.Lamp(), panel::kLampYellow);
    }
}

HWND WaitForDialog(HWND owner, const std::string& caption) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            HWND popup = ::GetLastActivePopup(owner);
            found = popup != owner && TextOf(popup) == caption ? popup : nullptr;
            return found != nullptr;
        },
        10000);
    return found;
}

// The dialog closes the port; OK keeps the chosen port and baud line, Cancel keeps the old ones. Both reach
// the registry when the window closes.
TEST(Window, PortSetupOkAndCancel) {
    REQUIRE_DISPLAY();
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        CWindowRig window({"COM4", "", ""});
        window.Command(ID_PORT_SETUP);
        HWND dialog = WaitForDialog(window.Frame(), "Serial COM Port Selection");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(window.Text(IDC_STATUS), "Off Line");
        HWND ports = ::GetDlgItem(dialog, IDC_PORT_LIST);
        ::SendMessageW(ports, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        ::SendMessageW(ports, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"COM12"));
        ::SendMessageW(::GetDlgItem(dialog, IDC_BAUD_LIST), CB_SETCURSEL, 3, 0);
        ::SendMessageW(::GetDlgItem(dialog, ok ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindow(dialog) == 0; }, 10000));
        window.Close();
        EXPECT_EQ(StoredValue(store_key::kIntsSection, "m_ActiveComPort"), ok ? "12" : "4");
        EXPECT_EQ(StoredValue(store_key::kIntsSection, store_key::kBaudIndex),
                  ok ? "3" : "0"); // 0: never set
    }
}

// Placement and Stay On Top come back from "WindowPos"; at close the window's place, the last toggle of
// Stay On Top and the file's path are written.
TEST(Window, SettingsInTheRegistryAfterClose) {
    REQUIRE_DISPLAY();
    const Firmware file;
    CWindowRig window({"COM4", "32768:1:0:0:0:0:100:100:520:400", file.path});
    RECT rect{};
    ::GetWindowRect(window.Frame(), &rect);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 100);
    EXPECT_EQ(rect.right, 520);
    EXPECT_EQ(rect.bottom, 400);
    EXPECT_NE(::GetWindowLongW(window.Frame(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

    window.Command(ID_STAY_ON_TOP);
    EXPECT_TRUE(WaitUntil(
        [&] { return (::GetWindowLongW(window.Frame(), GWL_EXSTYLE) & WS_EX_TOPMOST) == 0; }, 5000));
    ::SetWindowPos(window.Frame(), nullptr, 150, 120, 440, 330, SWP_NOZORDER | SWP_NOACTIVATE);
    window.Close();

    const auto stored = panel::ParseWindowPos(StoredValue("WindowPos", "WindowPos").value_or(""));
    ASSERT_TRUE(stored.has_value());
    EXPECT_FALSE(stored->stayOnTop);
    EXPECT_EQ(stored->placement.showCmd, panel::kShowNormal);
    EXPECT_EQ((std::vector<int32_t>{stored->placement.left, stored->placement.top, stored->placement.right,
                                    stored->placement.bottom}),
              (std::vector<int32_t>{150, 120, 590, 450}));
    EXPECT_EQ(StoredValue("FilePaths", "g_ProjectFilePath"), file.path);
    EXPECT_EQ(StoredValue("Recent File List", "File1"), file.path);
    EXPECT_EQ(StoredValue(store_key::kIntsSection, "m_ActiveComPort"), "4");
}

// File > Exit, the close box and the end of the session each write the settings and end the program.
TEST(Window, EveryWayOfClosingWritesTheSettings) {
    REQUIRE_DISPLAY();
    const Firmware file;
    const struct {
        const char* name;
        void (*close)(HWND frame);
    } ways[] = {
        {"File > Exit", [](HWND frame) { ::PostMessageW(frame, WM_COMMAND, ID_APP_EXIT, 0); }},
        {"close box", [](HWND frame) { ::PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"log-off",
         [](HWND frame) {
             // Windows asks first and may end the process right after the end-of-session message.
             EXPECT_NE(::SendMessageW(frame, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0);
             EXPECT_TRUE(StoredValue("WindowPos", "WindowPos").has_value()) << "not written when asked";
             ::SendMessageW(frame, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        CWindowRig window({"COM4", "", file.path});
        EXPECT_FALSE(StoredValue("WindowPos", "WindowPos").has_value());
        way.close(window.Frame());
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindow(window.Frame()) == 0; }, 10000));
        EXPECT_TRUE(panel::ParseWindowPos(StoredValue("WindowPos", "WindowPos").value_or("")).has_value());
        EXPECT_EQ(StoredValue("FilePaths", "g_ProjectFilePath"), file.path);
        EXPECT_EQ(StoredValue(store_key::kIntsSection, "m_ActiveComPort"), "4");
    }
}

// Widening and heightening the window moves each control with its anchors.
TEST(Window, ControlsFollowTheirAnchorsWhenTheWindowGrows) {
    REQUIRE_DISPLAY();
    CWindowRig window({"COM4", "", ""});
    const int ids[] = {IDC_IDENTITY, IDC_ONLINE, IDC_START, IDC_STATUS, IDC_OUTCOME, IDC_CLOCK};
    std::vector<RECT> before;
    for (int id : ids) {
        before.push_back(RectIn(window.Form(), window.Control(id)));
    }
    RECT frame{};
    ::GetWindowRect(window.Frame(), &frame);
    ::SetWindowPos(window.Frame(), nullptr, 0, 0, frame.right - frame.left + 200,
                   frame.bottom - frame.top + 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // { left, top, right, bottom } moves: top-left/top-right grow, top-centre move half, bottom follow.
    const int moves[][4] = {{0, 0, 200, 0}, {100, 0, 100, 0}, {100, 0, 100, 0},
                            {0, 0, 200, 0}, {0, 0, 200, 0},   {0, 100, 200, 100}};
    for (size_t k = 0; k < std::size(ids); ++k) {
        SCOPED_TRACE(ids[k]);
        const RECT after = RectIn(window.Form(), window.Control(ids[k]));
        EXPECT_EQ(after.left - before[k].left, moves[k][0]);
        EXPECT_EQ(after.top - before[k].top, moves[k][1]);
        EXPECT_EQ(after.right - before[k].right, moves[k][2]);
        EXPECT_EQ(after.bottom - before[k].bottom, moves[k][3]);
    }
}

// The File menu's line at `position`, as shown.
std::string MenuLine(HWND frame, int position) {
    wchar_t text[512] = {};
    ::GetMenuStringW(::GetSubMenu(::GetMenu(frame), 0), static_cast<UINT>(position), text, 512,
                     MF_BYPOSITION);
    return Narrow(text);
}

// Posts a file dropped from the shell: the window frees the drop.
void DropFile(HWND frame, const std::string& path) {
    const std::wstring wide = Widen(path);
    const size_t bytes = sizeof(DROPFILES) + (wide.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GHND, bytes);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy(wide.begin(), wide.end(), reinterpret_cast<wchar_t*>(drop + 1));
    ::GlobalUnlock(memory);
    ::PostMessageW(frame, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

// A dropped file opens and heads the recent files; one that does not load is told and unloads; a recent
// entry that no longer loads leaves the list.
TEST(Window, DroppedAndRecentFiles) {
    REQUIRE_DISPLAY();
    const Firmware file;
    CWindowRig window({"COM4", "", ""});
    EXPECT_EQ(MenuLine(window.Frame(), 3), "Recent File");
    const auto titled = [&](const std::string& title) {
        return WaitUntil([&] { return TextOf(window.Frame()) == title; }, 10000);
    };

    DropFile(window.Frame(), file.path);
    EXPECT_TRUE(titled("board.hex - Brenwick")) << TextOf(window.Frame());
    EXPECT_EQ(MenuLine(window.Frame(), 3), "&1 " + file.path);
    EXPECT_EQ(window.Text(IDC_OUTCOME), "");

    const std::string missing = file.dir.Path("gone.hex");
    DropFile(window.Frame(), missing);
    EXPECT_TRUE(titled("Untitled - Brenwick"));
    EXPECT_EQ(window.Text(IDC_OUTCOME).rfind("gone.hex: ", 0), 0U) << window.Text(IDC_OUTCOME);
    EXPECT_NE(window.Text(IDC_OUTCOME).find("; no firmware file is loaded"), std::string::npos);

    std::filesystem::remove(file.path);
    window.Command(ID_FILE_MRU_FILE1);
    EXPECT_TRUE(WaitUntil([&] { return MenuLine(window.Frame(), 3) == "Recent File"; }, 10000));
    const std::string told = window.Text(IDC_OUTCOME);
    EXPECT_EQ(told.rfind("recent file " + file.path + ": ", 0), 0U) << told;
    EXPECT_NE(told.find("; removed from the recent files"), std::string::npos) << told;
}

} // namespace
