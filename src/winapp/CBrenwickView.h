#pragma once

#include "document/BrenwickDoc.h"
#include "panel/MessageGate.h"
#include "panel/PanelCommands.h"
#include "serial/NotifyTarget.h"
#include "winapp/AnchoredLayout.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

namespace brenwick::winapp {

// A task the link worker queued for the window's thread (the product message); lParam owns a
// std::function<void()>.
inline constexpr UINT kRunTaskMessage = WM_APP + 1;

// The operator panel on the form template 101, inside the main window: the device lines, "Online", "Start",
// "Make Bin", the status bar, the outcome line and the clock. Every 200 ms it shows the document's state.
// Port notifications are posted to its window and read on its thread. The controls keep their anchored
// places when the window is resized.
class CBrenwickView : public serial::ISerialNotifyTarget {
  public:
    CBrenwickView(CBrenwickDoc& doc, ISettingsStore& store);
    ~CBrenwickView() override;
    CBrenwickView(const CBrenwickView&) = delete;
    CBrenwickView& operator=(const CBrenwickView&) = delete;

    // Makes the form as a child of `frame`; false when the system refuses.
    bool Create(HWND frame);
    HWND Window() const { return m_Window; }
    HWND Control(int id) const { return ::GetDlgItem(m_Window, id); }
    // The form's size in pixels at its design.
    SIZE DesignSize() const { return m_DesignSize; }

    // The first call anchors the controls, starts the timer, loads the port settings and starts the worker;
    // every call then runs the hook the frame set (Stay On Top).
    void OnInitialUpdate();
    // Stops the timer, then the worker, then closes the port. Safe to call more than once.
    void Shutdown();

    void Post(uint32_t message, uint32_t wParam, intptr_t lParam) override;

    void OnStart();
    void OnOnline();
    void OnMakeBin();
    void OnTimer();
    // Before something that would cut a run short: while a run is changing the board, asks the operator, and
    // on yes stops the run cleanly. True when the action may go on.
    bool MayInterruptRun();
    // The operator did something that ends what the panel kept from the last action; `told`, when not empty,
    // is that action's own outcome for the outcome line.
    void NoteAction(const std::string& told = {});
    // The width of a main window whose device lines show a typical board in full.
    int WidthForTypicalLines() const;

    std::function<void()> m_OnEveryInitialUpdate; // the frame applies Stay On Top here

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Anchor(int id, panel::Anchor first, panel::Anchor second);
    void Reposition();
    void Show(const panel::PanelView& view, const DocSnapshot& doc);
    void SetText(int id, const std::string& text);
    void ShowProductMessage(const std::string& text);
    bool AskStopRun();
    void Refresh();
    HWND Owner() const;

    CBrenwickDoc& m_Doc;
    ISettingsStore& m_Store;
    HWND m_Window = nullptr;
    SIZE m_DesignSize{};
    CAnchoredLayout m_Layout;
    bool m_LayoutActive = false;
    bool m_TimerRunning = false;
    bool m_ShutDown = false;
    panel::CPanelCommands m_Commands;
    std::unique_ptr<panel::CMessageGate> m_MessageGate;
};

} // namespace brenwick::winapp
