#include "winapp/PortSetupDialog.h"

#include "base/win32/Utf16.h"
#include "panel/PortChoice.h"
#include "winapp/ControlWindow.h"
#include "winapp/ResourceIds.h"

namespace brenwick::winapp {

namespace {

std::wstring LineText(HWND combo, LRESULT line) {
    if (line < 0) {
        return {};
    }
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(line), 0);
    if (length < 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

void Fill(HWND dialog, const PortSetup& setup) {
    HWND ports = ::GetDlgItem(dialog, IDC_PORT_LIST);
    for (const serial::SerialPortInfo& port : setup.ports) {
        ::SendMessageW(ports, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(Widen(panel::StoredName(port)).c_str()));
    }
    const int line = panel::LineOfPort(setup.ports, setup.portName);
    ::SendMessageW(ports, CB_SETCURSEL, static_cast<WPARAM>(line), 0);
    if (line < 0) {
        // The current port is not present now (unplugged, or a typed name): it stays as it is.
        ::SetWindowTextW(ports, Widen(setup.portName).c_str());
    }
    HWND bauds = ::GetDlgItem(dialog, IDC_BAUD_LIST);
    for (const std::string& rate : panel::BaudLines()) {
        ::SendMessageW(bauds, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(rate).c_str()));
    }
    // An index outside the list leaves it without a selection and comes back unchanged.
    ::SendMessageW(bauds, CB_SETCURSEL, static_cast<WPARAM>(panel::BaudLineOf(setup.baudIndex)), 0);
}

void ReadChoice(HWND dialog, PortSetup& setup) {
    HWND ports = ::GetDlgItem(dialog, IDC_PORT_LIST);
    const LRESULT line = ::SendMessageW(ports, CB_GETCURSEL, 0, 0);
    setup.portName =
        panel::ChosenPort(Narrow(WindowText(ports)), Narrow(LineText(ports, line)), setup.portName);
    const LRESULT baud = ::SendMessageW(::GetDlgItem(dialog, IDC_BAUD_LIST), CB_GETCURSEL, 0, 0);
    if (baud >= 0) {
        setup.baudIndex = static_cast<int>(baud); // the line, not the rate
    }
}

void End(HWND dialog, PortSetup& setup, int result) {
    setup.result = result;
    if (setup.modal) {
        ::EndDialog(dialog, result);
    } else {
        ::DestroyWindow(dialog);
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* setup = reinterpret_cast<PortSetup*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        Fill(dialog, *reinterpret_cast<PortSetup*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (setup == nullptr) {
            break;
        }
        if (LOWORD(wParam) == IDOK) {
            ReadChoice(dialog, *setup);
            End(dialog, *setup, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) { // also Escape and the close box
            End(dialog, *setup, IDCANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

bool RunPortSetupDialog(HWND owner, PortSetup& setup) {
    setup.result = 0;
    setup.modal = true;
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PORT_SETUP), owner, DialogProc,
                      reinterpret_cast<LPARAM>(&setup));
    return setup.result == IDOK;
}

HWND CreatePortSetupDialog(HWND owner, PortSetup& setup) {
    setup.result = 0;
    setup.modal = false;
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PORT_SETUP), owner,
                                DialogProc, reinterpret_cast<LPARAM>(&setup));
}

} // namespace brenwick::winapp
