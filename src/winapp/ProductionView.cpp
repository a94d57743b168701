#include "winapp/ProductionView.h"

#include "base/win32/Utf16.h"
#include "panel/PanelCommands.h"
#include "station/BoardRecord.h"
#include "station/FlashLog.h"
#include "station/Sha256.h"
#include "winapp/ControlWindow.h"
#include "winapp/GdiObjects.h"
#include "winapp/ResourceIds.h"

#include <algorithm>
#include <commctrl.h>

namespace brenwick::winapp {

namespace {

// Device events waiting in the mailbox.
constexpr UINT kDevicesMessage = WM_APP + 2;
constexpr UINT_PTR kStepTimerId = 1;
constexpr UINT kStepTimerMs = 50;

// The columns' widths in dialog units, in the order of panel::ProductionColumn.
constexpr int kColumnWidths[panel::kProductionColumnCount] = {44, 56, 44, 64, 80};

void Fill(HDC dc, const RECT& rect, COLORREF color) {
    ::SetBkColor(dc, color);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void DrawCellText(HDC dc, const std::string& text, RECT box, UINT format, COLORREF color) {
    const std::wstring wide = Widen(text);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, color);
    ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &box,
                format | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

} // namespace

FlashLogWriter FlashLogAt(std::string path) {
    return [path = std::move(path)](const station::BoardEnd& end, std::string* error) {
        return path.empty() || station::AppendFlashRecord(path, station::RecordOf(end), error);
    };
}

CProductionView::CProductionView(DeviceSourceFactory devices, FlashLogWriter flashLog)
    : m_Devices(std::move(devices)), m_FlashLog(std::move(flashLog)) {}

CProductionView::~CProductionView() {
    End();
    if (m_Window != nullptr) {
        ::DestroyWindow(m_Window);
    }
}

bool CProductionView::Create(HWND frame) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    m_Window = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PRODUCTION_FORM), frame, DialogProc,
                                    reinterpret_cast<LPARAM>(this));
    if (m_Window == nullptr) {
        return false;
    }
    // Found by its number; below the panel, which stays the frame's first child.
    ::SetWindowLongPtrW(m_Window, GWLP_ID, IDD_PRODUCTION_FORM);
    ::SetWindowPos(m_Window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT design{};
    ::GetWindowRect(m_Window, &design);
    m_DesignSize = {design.right - design.left, design.bottom - design.top};
    m_Mailbox = std::make_unique<CDeviceMailbox>(m_Window, kDevicesMessage);

    HWND list = Control(IDC_BOARD_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int column = 0; column < panel::kProductionColumnCount; ++column) {
        RECT width{0, 0, kColumnWidths[column], 0};
        ::MapDialogRect(m_Window, &width); // the dialog font's units at this DPI
        std::wstring heading =
            Widen(std::string(panel::ProductionHeading(static_cast<panel::ProductionColumn>(column))));
        LVCOLUMNW entry{};
        entry.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        entry.cx = width.right;
        entry.pszText = heading.data();
        entry.iSubItem = column;
        ListView_InsertColumn(list, column, &entry);
    }
    ::CheckDlgButton(m_Window, IDC_AUTO, BST_CHECKED);

    using namespace panel;
    m_Layout.Anchor(m_Window, IDC_FIRMWARE, m_DesignSize, AnchorTopLeft, AnchorTopRight);
    m_Layout.Anchor(m_Window, IDC_BOARD_LIST, m_DesignSize, AnchorTopLeft, AnchorBottomRight);
    m_Layout.Anchor(m_Window, IDC_AUTO, m_DesignSize, AnchorBottomLeft, AnchorNone);
    m_Layout.Anchor(m_Window, IDC_START_BOARD, m_DesignSize, AnchorBottomLeft, AnchorNone);
    m_Layout.Anchor(m_Window, IDC_COUNTERS, m_DesignSize, AnchorBottomLeft, AnchorBottomRight);
    m_Layout.Anchor(m_Window, IDC_LOG_TROUBLE, m_DesignSize, AnchorBottomLeft, AnchorBottomRight);
    m_LayoutActive = true;
    ShowCounters();
    UpdateStartButton();
    return true;
}

INT_PTR CALLBACK CProductionView::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        return FALSE;
    }
    auto* view = reinterpret_cast<CProductionView*>(::GetWindowLongPtrW(window, DWLP_USER));
    return view != nullptr ? view->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR CProductionView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kDevicesMessage:
        OnDevices();
        return TRUE;
    case WM_TIMER:
        if (wParam == kStepTimerId) {
            Step();
            return TRUE;
        }
        break;
    case WM_SIZE:
        if (m_LayoutActive) {
            m_Layout.Reposition(m_Window, m_DesignSize);
        }
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            switch (LOWORD(wParam)) {
            case IDC_AUTO:
                OnAuto();
                return TRUE;
            case IDC_START_BOARD:
                OnStartBoard();
                return TRUE;
            case IDOK:
                PressFocusedButton(m_Window);
                return TRUE;
            default:
                break;
            }
        }
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom != IDC_BOARD_LIST) {
            break;
        }
        if (header->code == NM_CUSTOMDRAW) {
            ::SetWindowLongPtrW(m_Window, DWLP_MSGRESULT, OnCustomDraw(lParam));
            return TRUE;
        }
        if (header->code == LVN_ITEMCHANGED) {
            UpdateStartButton();
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
        // A flash log that lost runs is said in red.
        if (reinterpret_cast<HWND>(lParam) == Control(IDC_LOG_TROUBLE)) {
            auto* dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, panel::MakeColorRef(192, 0, 0));
            ::SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    default:
        break;
    }
    return FALSE;
}

std::string CProductionView::FirmwareLine(const std::string& firmware) {
    return firmware.empty() ? std::string(panel::kNoFirmwareText) : "Firmware: " + firmware;
}

void CProductionView::Begin(const std::string& firmware, const std::string& told) {
    End();
    SetText(IDC_FIRMWARE, told.empty() ? FirmwareLine(firmware) : told);
    if (!firmware.empty()) {
        station::StationOptions options;
        options.firmware = firmware;
        options.baudIndex = m_BaudIndex;
        options.autoStart = ::IsDlgButtonChecked(m_Window, IDC_AUTO) == BST_CHECKED;
        m_Station = std::make_unique<station::CProductionStation>(options, station::Sha256OfFile);
        if (m_Devices) {
            m_Source = m_Devices([mailbox = m_Mailbox.get()](std::vector<DeviceEvent> events) {
                mailbox->Push(std::move(events));
            });
            if (m_Source && !m_Source->Problem().empty()) {
                SetText(IDC_LOG_TROUBLE, m_Source->Problem());
            }
        }
    }
    ShowBoards();
    ShowCounters();
    UpdateStartButton();
}

bool CProductionView::MayInterruptRuns() {
    if (!Running()) {
        return true;
    }
    const int answer = ::MessageBoxW(::GetAncestor(m_Window, GA_ROOT), Widen(panel::kStopRunQuestion).c_str(),
                                     L"Brenwick", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    return answer == IDYES;
}

void CProductionView::End() {
    m_Source.reset(); // nothing more comes in
    if (m_Station) {
        Log(m_Station->Interrupt());
        m_Station.reset();
    }
    if (m_TimerRunning) {
        ::KillTimer(m_Window, kStepTimerId);
        m_TimerRunning = false;
    }
    if (m_Mailbox) {
        m_Mailbox->Take(); // devices told to the station that went
    }
    if (m_Window != nullptr) {
        ShowBoards();
        UpdateStartButton();
    }
}

void CProductionView::OnDevices() {
    const std::vector<DeviceEvent> events = m_Mailbox->Take();
    if (!m_Station) {
        return;
    }
    for (const DeviceEvent& event : events) {
        if (event.kind == DeviceEvent::Kind::Appeared) {
            m_Station->OnAppeared(event.port);
        } else {
            m_Station->OnGone(event.port);
        }
    }
    Step();
}

void CProductionView::OnAuto() {
    if (m_Station) {
        m_Station->SetAutoStart(::IsDlgButtonChecked(m_Window, IDC_AUTO) == BST_CHECKED);
    }
}

void CProductionView::OnStartBoard() {
    if (m_Station && m_Station->Start(SelectedBoard())) {
        Step();
    }
}

void CProductionView::Step() {
    if (!m_Station) {
        return;
    }
    Log(m_Station->Step());
    ShowBoards();
    ShowCounters();
    UpdateStartButton();
    const bool running = m_Station->Running();
    if (running && !m_TimerRunning) {
        m_TimerRunning = ::SetTimer(m_Window, kStepTimerId, kStepTimerMs, nullptr) != 0;
    } else if (!running && m_TimerRunning) {
        ::KillTimer(m_Window, kStepTimerId);
        m_TimerRunning = false;
    }
}

void CProductionView::Log(const std::vector<station::BoardEnd>& ends) {
    for (const station::BoardEnd& end : ends) {
        m_Counts.Count(end);
        std::string error;
        if (station::Recorded(end) && m_FlashLog && !m_FlashLog(end, &error)) {
            ++m_LogFailures;
            SetText(IDC_LOG_TROUBLE, panel::FlashLogTroubleText(m_LogFailures, error));
        }
    }
}

void CProductionView::ShowBoards() {
    const std::vector<station::BoardView> boards =
        m_Station ? m_Station->Boards() : std::vector<station::BoardView>();
    std::vector<int> ids;
    std::vector<panel::ProductionRow> rows;
    for (const station::BoardView& board : boards) {
        ids.push_back(board.id);
        rows.push_back(panel::RowOf(board));
    }
    HWND list = Control(IDC_BOARD_LIST);
    const bool fresh = ids != m_Ids;
    if (fresh) {
        // Boards came or went: the rows are laid anew, the chosen board stays chosen.
        const int selected = SelectedBoard();
        ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        ListView_DeleteAllItems(list);
        for (size_t row = 0; row < ids.size(); ++row) {
            LVITEMW item{};
            item.mask = LVIF_PARAM;
            item.iItem = static_cast<int>(row);
            item.lParam = ids[row];
            const int at = ListView_InsertItem(list, &item);
            if (ids[row] == selected) {
                ListView_SetItemState(list, at, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            }
        }
        ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(list, nullptr, TRUE);
        m_Ids = ids;
        m_Rows.assign(rows.size(), panel::ProductionRow{});
    }
    for (size_t row = 0; row < rows.size(); ++row) {
        bool changed =
            fresh || m_Rows[row].lamp != rows[row].lamp || m_Rows[row].percent != rows[row].percent;
        for (int column = 0; column < panel::kProductionColumnCount; ++column) {
            const auto which = static_cast<panel::ProductionColumn>(column);
            const std::string& text = panel::CellOf(rows[row], which);
            if (fresh || text != panel::CellOf(m_Rows[row], which)) {
                std::wstring wide = Widen(text);
                ListView_SetItemText(list, static_cast<int>(row), column, wide.data());
                changed = true;
            }
        }
        if (changed) {
            ListView_RedrawItems(list, static_cast<int>(row), static_cast<int>(row));
        }
    }
    m_Rows = std::move(rows);
}

void CProductionView::ShowCounters() {
    SetText(IDC_COUNTERS, panel::CountersText(m_Counts.passed, m_Counts.failed, m_Counts.skipped));
}

int CProductionView::SelectedBoard() const {
    const int row = ListView_GetNextItem(Control(IDC_BOARD_LIST), -1, LVNI_SELECTED);
    return row >= 0 && static_cast<size_t>(row) < m_Ids.size() ? m_Ids[static_cast<size_t>(row)] : 0;
}

void CProductionView::UpdateStartButton() {
    bool startable = false;
    if (m_Station) {
        const int id = SelectedBoard();
        for (const station::BoardView& board : m_Station->Boards()) {
            startable =
                startable || (board.id == id && board.present && board.state != station::BoardState::Running);
        }
    }
    HWND start = Control(IDC_START_BOARD);
    if ((::IsWindowEnabled(start) != 0) != startable) {
        ::EnableWindow(start, startable ? TRUE : FALSE);
    }
}

LRESULT CProductionView::OnCustomDraw(LPARAM lParam) {
    NMLVCUSTOMDRAW& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        break;
    default:
        return CDRF_DODEFAULT;
    }
    const size_t row = draw.nmcd.dwItemSpec;
    const auto column = static_cast<panel::ProductionColumn>(draw.iSubItem);
    if (row >= m_Rows.size() ||
        (column != panel::ProductionColumn::Progress && column != panel::ProductionColumn::State)) {
        return CDRF_DODEFAULT;
    }
    HWND list = Control(IDC_BOARD_LIST);
    RECT cell{};
    ListView_GetSubItemRect(list, static_cast<int>(row), draw.iSubItem, LVIR_BOUNDS, &cell);
    HDC dc = draw.nmcd.hdc;
    const bool selected = ListView_GetItemState(list, static_cast<int>(row), LVIS_SELECTED) != 0;
    const COLORREF back = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    const COLORREF ink = ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    Fill(dc, cell, back);
    const panel::ProductionRow& shown = m_Rows[row];
    const int height = cell.bottom - cell.top;
    const int inset = std::max(1, height / 8);
    if (column == panel::ProductionColumn::Progress) {
        if (!shown.progress.empty()) {
            // A bar in the status bar's colours, the percentage over it.
            RECT bar{cell.left + inset, cell.top + inset, cell.right - inset, cell.bottom - inset};
            RECT filled = bar;
            filled.right = bar.left + (bar.right - bar.left) * std::clamp(shown.percent, 0, 100) / 100;
            Fill(dc, bar, ::GetSysColor(COLOR_WINDOW));
            Fill(dc, filled, panel::kBarCyan);
            ::FrameRect(dc, &bar, ::GetSysColorBrush(COLOR_BTNSHADOW));
            DrawCellText(dc, shown.progress, bar, DT_CENTER, ::GetSysColor(COLOR_WINDOWTEXT));
        }
        return CDRF_SKIPDEFAULT;
    }
    // The lamp, a round one as on the panel's status bar, then the state in words.
    const int diameter = std::max(2, height - 2 * inset);
    const RECT lamp{cell.left + 2 * inset, cell.top + inset, cell.left + 2 * inset + diameter,
                    cell.top + inset + diameter};
    {
        const GdiObject brush(::CreateSolidBrush(shown.lamp));
        const CSelected fill(dc, brush.get());
        const CSelected edge(dc, ::GetStockObject(BLACK_PEN));
        ::Ellipse(dc, lamp.left, lamp.top, lamp.right, lamp.bottom);
    }
    RECT text{lamp.right + 2 * inset, cell.top, cell.right - inset, cell.bottom};
    DrawCellText(dc, shown.state, text, DT_LEFT, ink);
    return CDRF_SKIPDEFAULT;
}

void CProductionView::SetText(int id, const std::string& text) {
    const std::wstring wide = Widen(text);
    HWND control = Control(id);
    if (WindowText(control) != wide) {
        ::SetWindowTextW(control, wide.c_str()); // only on a change: a screen reader reads each change
    }
}

} // namespace brenwick::winapp
