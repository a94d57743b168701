#include "winapp/CMainFrame.h"

#include "base/win32/Utf16.h"
#include "panel/PanelCommands.h"
#include "panel/ScreenPlacement.h"
#include "serial/PortDiscovery.h"
#include "winapp/PortSetupDialog.h"
#include "winapp/ResourceIds.h"

#include <algorithm>
#include <shellapi.h>

namespace brenwick::winapp {

namespace {

constexpr wchar_t kFrameClassName[] = L"BrenwickMainFrame";
constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// The File menu's fixed items before the recent files: Open, Stay On Top and a separator.
constexpr UINT kFirstRecentPosition = 3;

bool RegisterFrameClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, kFrameClassName, &existing) != 0) {
        return true;
    }
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.style = CS_HREDRAW | CS_VREDRAW;
    type.lpfnWndProc = procedure;
    type.hInstance = instance;
    type.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    type.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    type.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    type.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    type.lpszClassName = kFrameClassName;
    return ::RegisterClassExW(&type) != 0;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info) != 0) {
        const RECT& r = info.rcWork;
        auto& screens = *reinterpret_cast<std::vector<panel::Rect>*>(list);
        const panel::Rect area{r.left, r.top, r.right - r.left, r.bottom - r.top};
        // The primary screen first.
        if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0) {
            screens.insert(screens.begin(), area);
        } else {
            screens.push_back(area);
        }
    }
    return TRUE;
}

std::vector<panel::Rect> ScreenAreas() {
    std::vector<panel::Rect> screens;
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&screens));
    return screens;
}

WINDOWPLACEMENT ToSystem(const panel::WindowPlacement& p) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    placement.flags = static_cast<UINT>(p.flags);
    placement.showCmd = static_cast<UINT>(p.showCmd);
    placement.ptMinPosition = {p.minX, p.minY};
    placement.ptMaxPosition = {p.maxX, p.maxY};
    placement.rcNormalPosition = {p.left, p.top, p.right, p.bottom};
    return placement;
}

panel::WindowPlacement FromSystem(const WINDOWPLACEMENT& w) {
    return {static_cast<int32_t>(w.flags),
            static_cast<int32_t>(w.showCmd),
            w.ptMinPosition.x,
            w.ptMinPosition.y,
            w.ptMaxPosition.x,
            w.ptMaxPosition.y,
            w.rcNormalPosition.left,
            w.rcNormalPosition.top,
            w.rcNormalPosition.right,
            w.rcNormalPosition.bottom};
}

HMENU FileMenu(HWND frame) {
    return ::GetSubMenu(::GetMenu(frame), 0);
}

} // namespace

CMainFrame::CMainFrame(CBrenwickDoc& doc, ISettingsStore& store) : m_Doc(doc), m_Store(store) {}

CMainFrame::~CMainFrame() {
    m_Production.reset();
    if (m_View) {
        m_View->Shutdown();
    }
    if (m_Window != nullptr) {
        ::DestroyWindow(m_Window);
    }
}

bool CMainFrame::Create() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!RegisterFrameClass(instance, WindowProc)) {
        return false;
    }
    HMENU menu = ::LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    m_Window = ::CreateWindowExW(WS_EX_ACCEPTFILES, kFrameClassName, L"Brenwick", kFrameStyle, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu, instance, this);
    if (m_Window == nullptr) {
        if (menu != nullptr) {
            ::DestroyMenu(menu);
        }
        return false;
    }
    m_View = std::make_unique<CBrenwickView>(m_Doc, m_Store);
    if (!m_View->Create(m_Window)) {
        return false;
    }
    m_View->m_OnEveryInitialUpdate = [this] { ApplyStayOnTop(); };
    // The window fits the form until the settings or the operator size it otherwise.
    const SIZE frame = FrameSizeFor(m_View->DesignSize());
    ::SetWindowPos(m_Window, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateTitle({});

    // The placement and Stay On Top, then the last file's path, which the document reloads next.
    panel::WindowPlacement placement;
    if (LoadWindowPlacement(placement)) {
        m_SavedPlacement = placement;
    } else {
        m_bStayOnTop = 0;
    }
    m_Doc.SetProjectFilePath(
        m_Store.GetString(store_key::kFilePaths, store_key::kProjectFilePath).value_or(std::string()));
    return true;
}

SIZE CMainFrame::FrameSizeFor(SIZE client) const {
    RECT r{0, 0, client.cx, client.cy};
    ::AdjustWindowRectEx(&r, kFrameStyle, TRUE, WS_EX_ACCEPTFILES);
    return {r.right - r.left, r.bottom - r.top};
}

LRESULT CALLBACK CMainFrame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<CMainFrame*>(create->lpCreateParams)->m_Window = window; // before CreateWindowExW returns
    }
    auto* frame = reinterpret_cast<CMainFrame*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (frame == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        if (frame->m_OnDestroyed) {
            frame->m_OnDestroyed();
        }
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        frame->m_Window = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    return frame->Handle(message, wParam, lParam);
}

LRESULT CMainFrame::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (m_View && m_View->Window() != nullptr) {
            ::MoveWindow(m_View->Window(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        }
        if (m_Production) {
            ::MoveWindow(m_Production->Window(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        }
        return 0;
    case WM_GETMINMAXINFO:
        // Smaller than the form, the panel would cut its controls off.
        if (m_View && m_View->Window() != nullptr) {
            const SIZE least = FrameSizeFor(ActiveDesignSize());
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {least.cx, least.cy};
        }
        return 0;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(m_Window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus != nullptr && m_View && ::IsChild(m_View->Window(), focus)) {
                m_LastFocus = focus;
            }
        }
        break;
    case WM_SETFOCUS:
        // The keyboard belongs to the panel's controls, or to the list of boards.
        if (m_ProductionOn) {
            ::SetFocus(m_Production->Control(IDC_BOARD_LIST));
        } else if (m_View && m_View->Window() != nullptr) {
            HWND target = m_LastFocus != nullptr && ::IsWindow(m_LastFocus) != 0
                              ? m_LastFocus
                              : m_View->Control(IDC_ONLINE);
            ::SetFocus(target);
        }
        return 0;
    case WM_INITMENUPOPUP:
        ::CheckMenuItem(reinterpret_cast<HMENU>(wParam), ID_STAY_ON_TOP,
                        static_cast<UINT>(MF_BYCOMMAND | (m_bStayOnTop != 0 ? MF_CHECKED : MF_UNCHECKED)));
        break;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam))) {
            return 0;
        }
        break;
    case WM_DROPFILES: {
        auto* drop = reinterpret_cast<HDROP>(wParam);
        const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        const UINT copied = ::DragQueryFileW(drop, 0, path.data(), length + 1);
        ::DragFinish(drop);
        path.resize(copied);
        if (!path.empty() && m_OnFileDropped) {
            m_OnFileDropped(Narrow(path));
        }
        return 0;
    }
    case WM_CLOSE:
        Close(true);
        return 0;
    case WM_QUERYENDSESSION:
        // The session may end without another word: what is to be kept is written now.
        SaveSettings();
        return TRUE;
    case WM_ENDSESSION:
        if (wParam != 0) {
            Close(false);
        }
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(m_Window, message, wParam, lParam);
}

bool CMainFrame::OnCommand(UINT command) {
    switch (command) {
    case ID_STAY_ON_TOP:
        OnStayOnTop();
        return true;
    case ID_PORT_SETUP:
        OnPortSetup();
        return true;
    case ID_VIEW_PRODUCTION:
        OnProduction();
        return true;
    case ID_HELP_FINDER:
        OnHelpFinder();
        return true;
    case ID_APP_EXIT:
        Close(true);
        return true;
    default:
        return m_OnAppCommand && m_OnAppCommand(command);
    }
}

void CMainFrame::UpdateTitle(const std::string& documentPath) {
    const std::string name = documentPath.empty() ? std::string("Untitled") : panel::FileNameOf(documentPath);
    std::string title = name;
    title += " - Brenwick";
    ::SetWindowTextW(m_Window, Widen(title).c_str());
}

bool CMainFrame::LoadWindowPlacement(panel::WindowPlacement& placement) {
    const auto stored = panel::LoadWindowPos(m_Store);
    if (!stored) {
        return false;
    }
    placement = stored->placement;
    m_bStayOnTop = stored->stayOnTop ? 1 : 0;
    return true;
}

void CMainFrame::SaveWindowPlacement(panel::WindowPlacement placement) {
    panel::SaveWindowPos(m_Store, placement, m_bStayOnTop != 0);
}

void CMainFrame::ActivateFrame(int showCommand) {
    if (m_SavedPlacement) {
        panel::WindowPlacement placement = *m_SavedPlacement;
        const panel::WindowEdges edges{placement.left, placement.top, placement.right, placement.bottom};
        if (const auto onScreen = panel::PullOntoScreens(edges, ScreenAreas())) {
            placement.left = onScreen->x;
            placement.top = onScreen->y;
            placement.right = onScreen->x + onScreen->width;
            placement.bottom = onScreen->y + onScreen->height;
        }
        // A window stored hidden comes back shown.
        if (placement.showCmd == panel::kShowHide) {
            placement.showCmd = panel::kShowNormal;
        }
        const WINDOWPLACEMENT system = ToSystem(placement);
        ::SetWindowPlacement(m_Window, &system);
        showCommand = placement.showCmd;
    } else {
        // A first window wide enough to read both device lines of a typical board.
        RECT r{};
        ::GetWindowRect(m_Window, &r);
        const int width =
            std::max<int>(r.right - r.left, FrameSizeFor({m_View->WidthForTypicalLines(), 0}).cx);
        ::SetWindowPos(m_Window, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    }
    ::ShowWindow(m_Window, showCommand);
    ::UpdateWindow(m_Window);
}

void CMainFrame::ApplyStayOnTop() {
    ::SetWindowPos(m_Window, m_bStayOnTop != 0 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

void CMainFrame::OnStayOnTop() {
    m_bStayOnTop = m_bStayOnTop != 0 ? 0 : 1;
    ApplyStayOnTop();
}

void CMainFrame::OnPortSetup() {
    // The port closes for the dialog: a run must not be cut short without the operator's word. A run stopped
    // for it stays told while the link is off line.
    m_View->NoteAction();
    if (!m_View->MayInterruptRun()) {
        return;
    }
    PortSetup setup;
    setup.portName = m_Doc.ActivePortName();
    setup.baudIndex = m_Doc.ComBaudrateIndex();
    setup.ports = serial::ListSerialPorts();
    m_Doc.PostCommand(WorkerCommand::Disconnect);
    m_Doc.ClosePort(); // safe beside the worker's own close
    if (RunPortSetupDialog(m_Window, setup)) {
        m_Doc.SetPortSettings(setup.portName, setup.baudIndex);
    }
}

SIZE CMainFrame::ActiveDesignSize() const {
    return m_ProductionOn ? m_Production->DesignSize() : m_View->DesignSize();
}

HWND CMainFrame::ActiveForm() const {
    return m_ProductionOn ? m_Production->Window() : m_View->Window();
}

std::string CMainFrame::ProductionFirmware() const {
    return m_Doc.IsFileLoaded() ? m_Doc.ProjectFilePath() : std::string();
}

void CMainFrame::BeginProduction(const std::string& told) {
    m_Production->SetBaudIndex(m_Doc.ComBaudrateIndex()); // boards run at the speed the port setup chose
    m_Production->Begin(ProductionFirmware(), told);
}

void CMainFrame::OnProduction() {
    if (m_ProductionOn) {
        if (!m_Production->MayInterruptRuns()) {
            return;
        }
        m_Production->End();
        m_ProductionOn = false;
        ::CheckMenuItem(::GetMenu(m_Window), ID_VIEW_PRODUCTION, MF_BYCOMMAND | MF_UNCHECKED);
        ::ShowWindow(m_View->Window(), SW_SHOW);
        ::ShowWindow(m_Production->Window(), SW_HIDE);
        ::SetFocus(m_View->Control(IDC_ONLINE));
    } else {
        // The panel lets its port go: the station opens the boards' ports, perhaps this one.
        m_View->NoteAction();
        if (!m_View->MayInterruptRun()) {
            return;
        }
        m_Doc.PostCommand(WorkerCommand::Disconnect);
        m_Doc.ClosePort(); // safe beside the worker's own close
        if (!m_Production) {
            auto production = std::make_unique<CProductionView>(m_ProductionDevices, m_FlashLog);
            if (!production->Create(m_Window)) {
                return;
            }
            m_Production = std::move(production);
        }
        m_ProductionOn = true;
        ::CheckMenuItem(::GetMenu(m_Window), ID_VIEW_PRODUCTION, MF_BYCOMMAND | MF_CHECKED);
        RECT client{};
        ::GetClientRect(m_Window, &client);
        ::MoveWindow(m_Production->Window(), 0, 0, client.right, client.bottom, FALSE);
        ::ShowWindow(m_Production->Window(), SW_SHOW);
        ::ShowWindow(m_View->Window(), SW_HIDE);
        // The list and its columns need more room than the panel.
        const SIZE least = FrameSizeFor(m_Production->DesignSize());
        RECT frame{};
        ::GetWindowRect(m_Window, &frame);
        if (::IsZoomed(m_Window) == 0 &&
            (frame.right - frame.left < least.cx || frame.bottom - frame.top < least.cy)) {
            ::SetWindowPos(m_Window, nullptr, 0, 0, std::max<int>(frame.right - frame.left, least.cx),
                           std::max<int>(frame.bottom - frame.top, least.cy),
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ::SetFocus(m_Production->Control(IDC_BOARD_LIST));
        BeginProduction();
    }
}

bool CMainFrame::MayInterruptRuns() {
    return m_ProductionOn ? m_Production->MayInterruptRuns() : m_View->MayInterruptRun();
}

void CMainFrame::FirmwareChanged(const std::string& told) {
    if (m_ProductionOn) {
        BeginProduction(told);
    }
}

void CMainFrame::OnHelpFinder() {
    if (m_HelpFolder.empty()) {
        return;
    }
    const std::wstring index = m_HelpFolder + L"\\index.html";
    if (::GetFileAttributesW(index.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    ::ShellExecuteW(m_Window, L"open", index.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CMainFrame::SaveSettings() {
    if (m_SettingsWritten) {
        return;
    }
    m_SettingsWritten = true;
    m_Store.PutString(store_key::kFilePaths, store_key::kProjectFilePath, m_Doc.ProjectFilePath());
    WINDOWPLACEMENT now{};
    now.length = sizeof now;
    if (::GetWindowPlacement(m_Window, &now) != 0) {
        panel::WindowPlacement placement = FromSystem(now);
        if (::IsZoomed(m_Window) != 0) {
            placement.flags |= panel::kRestoreToMaximized;
        }
        SaveWindowPlacement(placement);
    }
    if (m_OnClosing) {
        m_OnClosing();
    }
}

bool CMainFrame::Close(bool ask) {
    if (m_Window == nullptr) {
        return true;
    }
    if (ask && !MayInterruptRuns()) {
        return false;
    }
    SaveSettings();
    // Then the boards' runs, each one logged, and the panel: timer, worker (ended cleanly, even in the middle
    // of a run), port.
    if (m_Production) {
        m_Production->End();
    }
    m_View->Shutdown();
    ::DestroyWindow(m_Window);
    return true;
}

void CMainFrame::SetRecentFiles(const std::vector<std::string>& files) {
    HMENU file = FileMenu(m_Window);
    if (file == nullptr) {
        return;
    }
    // The list stands where the greyed "Recent File" placeholder stands when it is empty.
    for (size_t k = 0; k < std::max<size_t>(m_RecentCount, 1); ++k) {
        ::DeleteMenu(file, kFirstRecentPosition, MF_BYPOSITION);
    }
    m_RecentCount = files.size();
    if (files.empty()) {
        ::InsertMenuW(file, kFirstRecentPosition, MF_BYPOSITION | MF_STRING | MF_GRAYED, ID_FILE_MRU_FILE1,
                      L"Recent File");
        return;
    }
    UINT position = kFirstRecentPosition;
    for (size_t k = 0; k < files.size(); ++k) {
        std::string line = "&";
        line += std::to_string(k + 1);
        line += ' ';
        for (const char c : files[k]) {
            line += c == '&' ? "&&" : std::string(1, c); // a path's "&" is no mnemonic
        }
        ::InsertMenuW(file, position++, MF_BYPOSITION | MF_STRING, ID_FILE_MRU_FILE1 + k,
                      Widen(line).c_str());
    }
}

} // namespace brenwick::winapp
