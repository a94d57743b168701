// The port setup dialog on template 133, driven by messages under Wine: what it offers, OK with a chosen
// line, a typed name and a baud line, and Cancel that changes nothing.
#include "winapp/PortSetupDialog.h"

#include "base/win32/Utf16.h"
#include "winapp/ResourceIds.h"
#include "winapp/WindowPicture.h"

#include <gtest/gtest.h>
#include <string>

using namespace brenwick;
using namespace brenwick::winapp;

namespace {

PortSetup Primed(const std::string& port, int baudIndex) {
    PortSetup setup;
    setup.portName = port;
    setup.baudIndex = baudIndex;
    for (const char* name : {"COM1", "COM3", "COM10"}) {
        serial::SerialPortInfo info;
        info.path = name;
        setup.ports.push_back(info);
    }
    return setup;
}

std::string SelectedText(HWND combo) {
    wchar_t text[64] = {};
    ::GetWindowTextW(combo, text, 64);
    return Narrow(text);
}

void Click(HWND dialog, int id) {
    ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

TEST(PortSetupDialog, OffersThePortsAndTheBaudLinesAsPrimed) {
    REQUIRE_DISPLAY();
    PortSetup setup = Primed("COM3", 9);
    HWND dialog = CreatePortSetupDialog(nullptr, setup);
    ASSERT_NE(dialog, nullptr) << ::GetLastError();
    HWND ports = ::GetDlgItem(dialog, IDC_PORT_LIST);
    HWND bauds = ::GetDlgItem(dialog, IDC_BAUD_LIST);
    EXPECT_EQ(::SendMessageW(ports, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(::SendMessageW(ports, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SelectedText(ports), "COM3");
    EXPECT_EQ(::SendMessageW(bauds, CB_GETCOUNT, 0, 0), 13);
    EXPECT_EQ(::SendMessageW(bauds, CB_GETCURSEL, 0, 0), 9);
    EXPECT_EQ(SelectedText(bauds), "115200");
    Click(dialog, IDCANCEL);
    EXPECT_EQ(setup.result, IDCANCEL);
    EXPECT_FALSE(::IsWindow(dialog));

    // A port not present stays in the box as it is; an index outside the table selects no line.
    PortSetup absent = Primed("COM7", 40);
    dialog = CreatePortSetupDialog(nullptr, absent);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog, IDC_PORT_LIST), CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SelectedText(::GetDlgItem(dialog, IDC_PORT_LIST)), "COM7");
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog, IDC_BAUD_LIST), CB_GETCURSEL, 0, 0), CB_ERR);
    Click(dialog, IDOK);
    EXPECT_EQ(absent.result, IDOK);
    EXPECT_EQ(absent.portName, "COM7");
    EXPECT_EQ(absent.baudIndex, 40); // unchanged: no line was chosen
}

TEST(PortSetupDialog, OkTakesTheChosenLinesAndCancelNothing) {
    REQUIRE_DISPLAY();
    const struct {
        const char* what;
        int portLine;      // -1: type the name instead
        const char* typed; // typed into the port box
        int baudLine;
        int button;
        const char* port;
        int baud;
    } cases[] = {
        {"a line of each", 2, nullptr, 4, IDOK, "COM10", 4},
        {"a typed name", -1, "\\\\.\\CNCA0", 0, IDOK, "\\\\.\\CNCA0", 0},
        {"cancel", 0, nullptr, 12, IDCANCEL, "COM3", 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PortSetup setup = Primed("COM3", 10);
        HWND dialog = CreatePortSetupDialog(nullptr, setup);
        ASSERT_NE(dialog, nullptr);
        HWND ports = ::GetDlgItem(dialog, IDC_PORT_LIST);
        if (c.portLine >= 0) {
            ::SendMessageW(ports, CB_SETCURSEL, static_cast<WPARAM>(c.portLine), 0);
        } else {
            ::SetWindowTextW(ports, Widen(c.typed).c_str());
        }
        ::SendMessageW(::GetDlgItem(dialog, IDC_BAUD_LIST), CB_SETCURSEL, static_cast<WPARAM>(c.baudLine), 0);
        Click(dialog, c.button);
        EXPECT_EQ(setup.result, c.button);
        EXPECT_EQ(setup.portName, c.port);
        EXPECT_EQ(setup.baudIndex, c.baud);
    }
}

} // namespace
