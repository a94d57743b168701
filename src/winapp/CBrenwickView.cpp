#include "winapp/CBrenwickView.h"

#include "base/win32/Utf16.h"
#include "document/DocSnapshot.h"
#include "panel/FlashLogSetting.h"
#include "panel/PanelState.h"
#include "winapp/AnchoredLayout.h"
#include "winapp/ClockControl.h"
#include "winapp/ControlWindow.h"
#include "winapp/GdiObjects.h"
#include "winapp/ResourceIds.h"
#include "winapp/StatusControl.h"

#include <algorithm>

namespace brenwick::winapp {

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerMs = 200;

} // namespace

CBrenwickView::CBrenwickView(CBrenwickDoc& doc, ISettingsStore& store)
    : m_Doc(doc), m_Store(store), m_Commands(doc, [this] { return AskStopRun(); }) {
    m_Commands.SetFlashLog(panel::FlashLogPathFrom(store));
}

CBrenwickView::~CBrenwickView() {
    Shutdown();
    if (m_Window != nullptr) {
        ::DestroyWindow(m_Window);
    }
}

bool CBrenwickView::Create(HWND frame) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!RegisterStatusControl(instance) || !RegisterClockControl(instance)) {
        return false;
    }
    m_Window = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PANEL_FORM), frame, DialogProc,
                                    reinterpret_cast<LPARAM>(this));
    if (m_Window == nullptr) {
        return false;
    }
    RECT design{};
    ::GetWindowRect(m_Window, &design);
    m_DesignSize = {design.right - design.left, design.bottom - design.top};
    ::SetWindowTextW(Control(IDC_STATUS), L"none");
    // The form's place in the frame is the frame's to set; the controls' border is the form's own.
    ::SetWindowLongPtrW(m_Window, GWL_STYLE, ::GetWindowLongPtrW(m_Window, GWL_STYLE) & ~LONG_PTR{WS_BORDER});
    ::SetWindowPos(m_Window, nullptr, 0, 0, m_DesignSize.cx, m_DesignSize.cy,
                   SWP_NOZORDER | SWP_NOMOVE | SWP_FRAMECHANGED);
    ::ShowWindow(m_Window, SW_SHOW);

    m_MessageGate = std::make_unique<panel::CMessageGate>(
        [window = m_Window](std::function<void()> task) {
            auto queued = std::make_unique<std::function<void()>>(std::move(task));
            if (::PostMessageW(window, kRunTaskMessage, 0, reinterpret_cast<LPARAM>(queued.get())) == 0) {
                return false;
            }
            queued.release(); // the window runs and frees it
            return true;
        },
        [this](const std::string& text) { ShowProductMessage(text); });
    return true;
}

INT_PTR CALLBACK CBrenwickView::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        return FALSE; // the frame decides where the focus goes
    }
    auto* view = reinterpret_cast<CBrenwickView*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (message == kRunTaskMessage) {
        const std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lParam));
        if (view != nullptr && task && *task) {
            (*task)();
        }
        return TRUE;
    }
    return view != nullptr ? view->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR CBrenwickView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case protocol::kPortMessage:
        m_Doc.OnPortMessage(message, static_cast<uint32_t>(wParam), lParam);
        return TRUE;
    case WM_TIMER:
        if (wParam == kTimerId) {
            OnTimer();
            return TRUE;
        }
        break;
    case WM_SIZE:
        if (m_LayoutActive) {
            Reposition();
        }
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            switch (LOWORD(wParam)) {
            case IDC_ONLINE:
                OnOnline();
                return TRUE;
            case IDC_START:
                OnStart();
                return TRUE;
            case IDC_MAKE_BIN:
                OnMakeBin();
                return TRUE;
            case IDOK:
                PressFocusedButton(m_Window);
                return TRUE;
            default:
                break;
            }
        }
        break;
    case WM_DESTROY: {
        // Tasks still queued are dropped: the gate no longer waits for them once it is closed. A quit that a
        // filtered look at the queue hands back too is put back for the message loop.
        MSG queued{};
        while (::PeekMessageW(&queued, m_Window, kRunTaskMessage, kRunTaskMessage, PM_REMOVE) != 0) {
            if (queued.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(queued.wParam));
                break;
            }
            std::unique_ptr<std::function<void()>>(reinterpret_cast<std::function<void()>*>(queued.lParam))
                .reset();
        }
        break;
    }
    default:
        break;
    }
    return FALSE;
}

void CBrenwickView::Anchor(int id, panel::Anchor first, panel::Anchor second) {
    m_Layout.Anchor(m_Window, id, m_DesignSize, first, second);
}

void CBrenwickView::Reposition() {
    m_Layout.Reposition(m_Window, m_DesignSize);
}

void CBrenwickView::OnInitialUpdate() {
    if (!m_LayoutActive) {
        using namespace panel;
        Anchor(IDC_IDENTITY, AnchorTopLeft, AnchorTopRight);
        Anchor(IDC_GEOMETRY, AnchorTopLeft, AnchorTopRight);
        Anchor(IDC_ONLINE, AnchorTopCenter, AnchorNone);
        Anchor(IDC_START, AnchorTopCenter, AnchorNone);
        Anchor(IDC_MAKE_BIN, AnchorTopCenter, AnchorNone);
        Anchor(IDC_STATUS, AnchorTopLeft, AnchorTopRight);
        Anchor(IDC_OUTCOME, AnchorTopLeft, AnchorTopRight);
        Anchor(IDC_CLOCK, AnchorBottomLeft, AnchorBottomRight);
        m_LayoutActive = true;
        Reposition();
        m_TimerRunning = ::SetTimer(m_Window, kTimerId, kTimerMs, nullptr) != 0;
        m_Doc.LoadSettings(m_Store);
        SetClockTextColor(Control(IDC_CLOCK), kClockTextColor);
        SetStatusLampColor(Control(IDC_STATUS), panel::kLampRed);
        m_Doc.Attach(this);
        m_Doc.SetMessageCallback(
            [gate = m_MessageGate.get()](const std::string& text) { gate->ShowAndWait(text); });
        m_Doc.StartWorker();
        // The first thing an operator does is going on line.
        ::SetFocus(Control(IDC_ONLINE));
    } else {
        Reposition();
    }
    if (m_OnEveryInitialUpdate) {
        m_OnEveryInitialUpdate();
    }
}

void CBrenwickView::Shutdown() {
    if (m_ShutDown) {
        return;
    }
    m_ShutDown = true;
    if (m_TimerRunning && m_Window != nullptr) {
        ::KillTimer(m_Window, kTimerId);
        m_TimerRunning = false;
    }
    // A worker waiting for the operator to close the product message must not hold up its own stop.
    if (m_MessageGate) {
        m_MessageGate->Close();
    }
    m_Doc.Detach();
}

void CBrenwickView::Post(uint32_t message, uint32_t wParam, intptr_t lParam) {
    ::PostMessageW(m_Window, message, wParam, lParam);
}

void CBrenwickView::OnOnline() {
    if (!m_Commands.OnOnline()) {
        ::CheckDlgButton(m_Window, IDC_ONLINE, BST_CHECKED); // still on line, the run goes on
    }
}

void CBrenwickView::OnStart() {
    m_Commands.OnStart();
    Refresh();
}

void CBrenwickView::OnMakeBin() {
    m_Commands.OnMakeBin();
    Refresh();
}

void CBrenwickView::NoteAction(const std::string& told) {
    m_Commands.NoteAction(told);
    Refresh();
}

void CBrenwickView::Refresh() {
    if (m_TimerRunning) {
        OnTimer(); // the operator sees the answer to what was just done at once
    }
}

HWND CBrenwickView::Owner() const {
    return m_Window != nullptr ? ::GetAncestor(m_Window, GA_ROOT) : nullptr;
}

bool CBrenwickView::MayInterruptRun() {
    if (!m_Commands.MayInterruptRun()) {
        return false;
    }
    Refresh(); // a stopped run's outcome, before whatever the operator asked for goes on
    return true;
}

bool CBrenwickView::AskStopRun() {
    const int answer = ::MessageBoxW(Owner(), Widen(panel::kStopRunQuestion).c_str(), L"Brenwick",
                                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    // The program may have been told to end meanwhile; the run was stopped with it.
    return !m_ShutDown && answer == IDYES;
}

int CBrenwickView::WidthForTypicalLines() const {
    const panel::DeviceLines typical = panel::TypicalLines();
    const std::string lines[] = {typical.identity, typical.geometry};
    HWND line = Control(IDC_GEOMETRY);
    HDC dc = ::GetDC(line);
    int text = 0;
    SIZE letter{};
    {
        const CSelected font(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(line, WM_GETFONT, 0, 0)));
        for (const std::string& each : lines) {
            const std::wstring wide = Widen(each);
            SIZE size{};
            ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
            text = std::max<int>(text, size.cx);
        }
        ::GetTextExtentPoint32W(dc, L"x", 1, &letter);
    }
    ::ReleaseDC(line, dc);
    // The line's sunken edge and a letter's indent on both sides, and the form's margins around the line.
    const RECT r = ChildRect(m_Window, line);
    const int margins = m_DesignSize.cx - (r.right - r.left);
    return std::max<int>(m_DesignSize.cx, text + 2 * (::GetSystemMetrics(SM_CXEDGE) + letter.cx) + margins);
}

void CBrenwickView::OnTimer() {
    const DocSnapshot doc = m_Doc.Snapshot();
    Show(m_Commands.Tick(doc), doc);
}

void CBrenwickView::SetText(int id, const std::string& text) {
    const std::wstring wide = Widen(text);
    HWND control = Control(id);
    if (WindowText(control) != wide) {
        ::SetWindowTextW(control, wide.c_str()); // only on a change: a screen reader reads each change
    }
}

void CBrenwickView::Show(const panel::PanelView& view, const DocSnapshot& doc) {
    // The box follows the link, except while a command it started is still on its way.
    const bool checked = ::IsDlgButtonChecked(m_Window, IDC_ONLINE) == BST_CHECKED;
    if (!doc.commandPending && checked != doc.onLine) {
        ::CheckDlgButton(m_Window, IDC_ONLINE, doc.onLine ? BST_CHECKED : BST_UNCHECKED);
    }
    HWND start = Control(IDC_START);
    if ((::IsWindowEnabled(start) != 0) != view.startEnabled) {
        ::EnableWindow(start, view.startEnabled ? TRUE : FALSE);
    }
    if (const auto lines = panel::LinesToShow(view, doc)) {
        SetText(IDC_IDENTITY, lines->identity);
        SetText(IDC_GEOMETRY, lines->geometry);
    }
    SetText(IDC_OUTCOME, view.detail);
    HWND status = Control(IDC_STATUS);
    SetStatusLampColor(status, view.lamp);
    SetStatusPos(status, view.showsProgress ? static_cast<uint32_t>(std::max(view.progress, 0)) : 0U);
    SetText(IDC_STATUS, view.text);
}

void CBrenwickView::ShowProductMessage(const std::string& text) {
    ::MessageBoxW(Owner(), Widen(text).c_str(), L"Brenwick", MB_OK | MB_ICONWARNING);
}

} // namespace brenwick::winapp
