#pragma once

#include "app/DeviceFeed.h"
#include "document/BrenwickDoc.h"
#include "station/ProductionStation.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brenwick::app {

// The production view: every board that is plugged in is flashed with the document's file, one row per
// board (lamp, port, serial number, progress, lasting outcome), with the counts since the program started.
// The station runs while the view is active; devices come from a feed made at each activation.
class CProductionView : public QWidget {
    Q_OBJECT

  public:
    enum Column { ColState, ColPort, ColSerial, ColProgress, ColOutcome, ColumnCount };

    explicit CProductionView(CBrenwickDoc& doc, QWidget* parent = nullptr);
    ~CProductionView() override;

    // Production mode begins: a station for the document's file (none, and the reason shown, without a
    // loaded file) and a new feed of devices.
    void Activate();
    // Before production mode ends or the file changes: while a board runs, asks the operator, and on yes
    // stops every run. True when the action may go on.
    bool MayInterruptRuns();
    // Production mode ends: every run stops, the feed closes and the boards are forgotten; the counts stay.
    void Deactivate();
    bool Active() const { return m_Active; }
    // The window closes: as Deactivate, and an open question is answered no.
    void Shutdown();
    // The document's file may have changed: a station for the new one (the boards present stay).
    void OnFileChanged();

    void OnAppeared(const serial::SerialPortInfo& port);
    void OnGone(const serial::SerialPortInfo& port);
    // Starts the selected board, or the first waiting one when none is selected.
    void OnStart();
    // Steps the station and shows the boards; the timer runs only while a board does.
    void OnTimer();

    // Makes the feed at each activation; none: devices come through OnAppeared and OnGone only.
    std::function<std::unique_ptr<CDeviceFeed>()> m_MakeFeed;
    // Every run that ends goes here (the flash log); false with the reason when it could not be kept, which
    // the status line then shows until the program ends.
    std::function<bool(const station::BoardEnd& end, std::string* error)> m_RecordEnd;

    // The controls, for the frame and the tests.
    QTableWidget& Table() { return m_Table; }
    QCheckBox& AutoBox() { return m_AutoBox; }
    QPushButton& StartButton() { return m_StartButton; }
    QLabel& FileLine() { return m_FileLine; }
    QLabel& CountsLine() { return m_CountsLine; }
    QLabel& StatusLine() { return m_StatusLine; }
    bool IsTimerRunning() const { return m_Timer.isActive(); }
    // The question whether to stop the runs, while it is open.
    QMessageBox* OpenQuestion() const { return m_Question.data(); }
    // The row of a board by its port's path; -1 when there is none.
    int RowOfPort(const std::string& path) const;
    // Wide enough for a by-id name and an outcome sentence beside the progress.
    QSize sizeHint() const override;
    int Passed() const { return m_Counts.passed; }
    int Failed() const { return m_Counts.failed; }

  private:
    void MakeStation();
    void StopStation();
    void Ended(std::vector<station::BoardEnd> ends);
    void ShowBoards();
    void ShowCounts();
    void UpdateStartButton();
    bool AskStopRuns();

    CBrenwickDoc& m_Doc;
    QLabel m_FileLine;
    QTableWidget m_Table;
    QCheckBox m_AutoBox;
    QPushButton m_StartButton;
    QLabel m_CountsLine;
    QLabel m_StatusLine;
    QTimer m_Timer;
    QPointer<QMessageBox> m_Question;

    bool m_Active = false;
    bool m_ShutDown = false;
    std::unique_ptr<station::CProductionStation> m_Station;
    std::unique_ptr<CDeviceFeed> m_Feed;
    std::vector<serial::SerialPortInfo> m_Present; // what the feed says is plugged in, in the order it came
    std::vector<station::BoardView> m_Shown;       // the rows, in order
    station::BoardCounts m_Counts;
    int m_LostRecords = 0;
};

} // namespace brenwick::app
