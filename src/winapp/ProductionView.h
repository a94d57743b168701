#pragma once

#include "panel/ProductionRows.h"
#include "station/ProductionStation.h"
#include "winapp/AnchoredLayout.h"
#include "winapp/DeviceFeed.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

namespace brenwick::winapp {

// Appends one ended run to the flash log; false with the reason when it could not be written.
using FlashLogWriter = std::function<bool(const station::BoardEnd& end, std::string* error)>;
// The program's flash log.
// Appends each run to the flash log at `path`; an empty path keeps no record.
FlashLogWriter FlashLogAt(std::string path);

// The production view on the form template 102, in the main window in place of the panel: every board that
// comes is flashed with the document's firmware, one row per board in a list (port, serial number, progress,
// state with its lamp, outcome), "Auto" to start each board as it comes, "Start" for the chosen one, and the
// counters. Devices come from a source that posts them to the view's window; the station is stepped every
// 50 ms while a board runs. Every run that ends goes to the flash log, and a log that cannot be written is
// said on the form.
class CProductionView {
  public:
    CProductionView(DeviceSourceFactory devices, FlashLogWriter flashLog);
    ~CProductionView();
    CProductionView(const CProductionView&) = delete;
    CProductionView& operator=(const CProductionView&) = delete;

    // Makes the form, hidden, as a child of `frame`; false when the system refuses.
    bool Create(HWND frame);
    HWND Window() const { return m_Window; }
    HWND Control(int id) const { return ::GetDlgItem(m_Window, id); }
    SIZE DesignSize() const { return m_DesignSize; }

    // Begins taking boards and flashing `firmware` into them; an empty path says that a file must be opened
    // and starts nothing. `told`, when not empty, takes the firmware line's place (why a file did not load).
    void Begin(const std::string& firmware, const std::string& told = {});
    // The line speed of the boards, as the port setup chose it; taken at the next Begin.
    void SetBaudIndex(int baudIndex) { m_BaudIndex = baudIndex; }
    // Before the runs would be cut short: while a board is being programmed, asks the operator. True when
    // they may be stopped.
    bool MayInterruptRuns();
    // Stops every run (each one goes to the flash log) and the device source; the list empties.
    void End();
    bool Running() const { return m_Station && m_Station->Running(); }

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnDevices();
    void OnStartBoard();
    void OnAuto();
    // Steps the station, logs what ended and shows the boards; the timer runs while a board runs.
    void Step();
    void Log(const std::vector<station::BoardEnd>& ends);
    void ShowBoards();
    void ShowCounters();
    void UpdateStartButton();
    int SelectedBoard() const;
    // NM_CUSTOMDRAW of the list (an NMLVCUSTOMDRAW): the progress bar and the lamp are drawn here.
    LRESULT OnCustomDraw(LPARAM lParam);
    void SetText(int id, const std::string& text);
    static std::string FirmwareLine(const std::string& firmware);

    DeviceSourceFactory m_Devices;
    FlashLogWriter m_FlashLog;
    HWND m_Window = nullptr;
    SIZE m_DesignSize{};
    CAnchoredLayout m_Layout;
    bool m_LayoutActive = false;
    std::unique_ptr<CDeviceMailbox> m_Mailbox;
    std::unique_ptr<station::CProductionStation> m_Station;
    int m_BaudIndex = protocol::kDefaultBaudIndex;
    std::unique_ptr<IDeviceSource> m_Source; // after the station: it goes first
    bool m_TimerRunning = false;
    std::vector<int> m_Ids; // the board of each row
    std::vector<panel::ProductionRow> m_Rows;
    int m_LogFailures = 0;
    // Since the program started: a new station (another file, production off and on) goes on counting.
    station::BoardCounts m_Counts;
};

} // namespace brenwick::winapp
