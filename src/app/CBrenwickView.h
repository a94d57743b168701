#pragma once

#include "document/BrenwickDoc.h"
#include "panel/MessageGate.h"
#include "panel/PanelCommands.h"
#include "serial/NotifyTarget.h"
#include "widgets/CClockCtrl.h"
#include "widgets/CResizableFormView.h"
#include "widgets/CStatusCtrl.h"
#include "widgets/CTextLine.h"
#include "widgets/DialogUnits.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

namespace brenwick::app {

// The operator panel: the device lines, "Online", "Start", "Make Bin", the status bar and the clock. Every
// 200 ms it shows the document's state. It is also where the port's notifications arrive: Post() queues
// them from the listener thread and the document reads the bytes on this thread.
class CBrenwickView : public widgets::CResizableFormView, public serial::ISerialNotifyTarget {
    Q_OBJECT

  public:
    CBrenwickView(CBrenwickDoc& doc, ISettingsStore& store, QWidget* parent = nullptr);
    ~CBrenwickView() override;

    // The first call anchors the controls, starts the timer, loads the port settings and starts the
    // worker; every call then runs the hook the frame set (Stay On Top) and fits the frame to the form.
    void OnInitialUpdate() override;
    // Stops the timer, then the worker, then closes the port. Safe to call more than once.
    void Shutdown();

    void Post(uint32_t message, uint32_t wParam, intptr_t lParam) override;

    void OnStart();
    void OnOnline();
    void OnMakeBin();
    void OnTimer();

    // Before something that would cut a run short (the port setup, opening a file, closing the window): while
    // a run is changing the board, asks the operator, and on yes stops the run cleanly. True when the action
    // may go on.
    bool MayInterruptRun();
    // The operator did something that ends what the panel kept from the last action; `told`, when not
    // empty, is that action's own outcome for the outcome line.
    void NoteAction(const std::string& told = {});
    // The width of a window whose device lines show a typical board in full.
    int WidthForTypicalLines() const;

    std::function<void()> m_OnEveryInitialUpdate; // the frame applies Stay On Top here

    // The controls, for the frame and the tests.
    widgets::CTextLine& IdentityLine() { return m_IdentityLine; }
    widgets::CTextLine& GeometryLine() { return m_GeometryLine; }
    QCheckBox& OnlineButton() { return m_OnlineButton; }
    QPushButton& StartButton() { return m_StartButton; }
    QPushButton& MakeBinButton() { return m_MakeBinButton; }
    widgets::CStatusCtrl& Status() { return m_Status; }
    QLabel& OutcomeLine() { return m_OutcomeLine; }
    widgets::CClockCtrl& Clock() { return m_Clock; }
    bool IsTimerRunning() const { return m_Timer.isActive(); }
    // The product-mismatch box while it is open.
    QMessageBox* OpenMessageBox() const { return m_MessageBox.data(); }
    // The question whether to stop a run, while it is open.
    QMessageBox* OpenQuestion() const { return m_Question.data(); }

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowProductMessage(const std::string& text);
    bool AskStopRun();
    void Refresh();
    void Show(const panel::PanelView& view, const DocSnapshot& doc);

    CBrenwickDoc& m_Doc;
    ISettingsStore& m_Store;
    widgets::CDialogUnits m_Units;
    widgets::CTextLine m_GeometryLine;
    QCheckBox m_OnlineButton;
    widgets::CTextLine m_IdentityLine;
    widgets::CClockCtrl m_Clock;
    widgets::CStatusCtrl m_Status;
    QLabel m_OutcomeLine;
    QPushButton m_StartButton;
    QPushButton m_MakeBinButton;
    int m_InitDone = 0;
    QTimer m_Timer;
    QString m_StatusText;
    panel::CPanelCommands m_Commands;
    bool m_ShutDown = false;
    QPointer<QMessageBox> m_MessageBox;
    QPointer<QMessageBox> m_Question;
    std::unique_ptr<panel::CMessageGate> m_MessageGate;
};

} // namespace brenwick::app
