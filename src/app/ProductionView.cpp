#include "app/ProductionView.h"

#include "app/QuestionBox.h"
#include "panel/ProductionRows.h"
#include "station/BoardRecord.h"
#include "station/Sha256.h"
#include "widgets/Colors.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

namespace brenwick::app {

namespace {

constexpr int kStepMs = 50; // the station is stepped about twenty times a second while a board runs

constexpr char kStopRunsQuestion[] =
    "Boards are being programmed. Stop every run and leave those boards unprogrammed?";

std::unique_ptr<QTableWidgetItem> Cell() {
    auto item = std::make_unique<QTableWidgetItem>();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable); // the operator reads, never edits
    return item;
}

void SetText(QTableWidgetItem* item, const QString& text) {
    if (item->text() != text) {
        item->setText(text);
        item->setToolTip(text); // a long outcome is read whole on hover
    }
}

} // namespace

CProductionView::CProductionView(CBrenwickDoc& doc, QWidget* parent) : QWidget(parent), m_Doc(doc) {
    m_FileLine.setTextFormat(Qt::PlainText); // file names are not markup
    m_FileLine.setWordWrap(true);
    m_StatusLine.setTextFormat(Qt::PlainText);
    m_StatusLine.setWordWrap(true);
    m_StatusLine.setStyleSheet(QStringLiteral("color: #c00000"));
    m_StatusLine.setAccessibleDescription(QStringLiteral("what went wrong beside the boards"));

    m_Table.setColumnCount(ColumnCount);
    const auto heading = [](panel::ProductionColumn column) {
        return QString::fromUtf8(panel::ProductionHeading(column).data(),
                                 static_cast<qsizetype>(panel::ProductionHeading(column).size()));
    };
    using panel::ProductionColumn;
    m_Table.setHorizontalHeaderLabels({heading(ProductionColumn::State), heading(ProductionColumn::Port),
                                       heading(ProductionColumn::SerialNumber),
                                       heading(ProductionColumn::Progress),
                                       heading(ProductionColumn::Outcome)});
    m_Table.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_Table.setSelectionMode(QAbstractItemView::SingleSelection);
    m_Table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_Table.verticalHeader()->hide();
    m_Table.setWordWrap(false); // one line per board; a long outcome is read whole on hover
    m_Table.horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics(font());
    const int letter = metrics.averageCharWidth();
    m_Table.setColumnWidth(ColState, letter * 30);
    m_Table.setColumnWidth(ColPort, letter * 20);
    m_Table.setColumnWidth(ColSerial, letter * 17);
    m_Table.setColumnWidth(ColProgress, letter * 16);
    m_Table.setIconSize(QSize(metrics.height(), metrics.height())); // the lamp

    m_AutoBox.setText(QStringLiteral("&Auto"));
    m_AutoBox.setToolTip(QStringLiteral("Program every board as soon as it is plugged in"));
    m_AutoBox.setChecked(true);
    m_StartButton.setText(QStringLiteral("&Start"));
    m_StartButton.setEnabled(false);

    auto buttons = std::make_unique<QHBoxLayout>();
    buttons->addWidget(&m_AutoBox);
    buttons->addWidget(&m_StartButton);
    buttons->addStretch(1);
    buttons->addWidget(&m_CountsLine);
    auto layout = std::make_unique<QVBoxLayout>(this);
    layout->addWidget(&m_FileLine);
    layout->addWidget(&m_Table, 1);
    layout->addLayout(buttons.release()); // the layout owns it
    layout->addWidget(&m_StatusLine);
    layout.release(); // owned by this widget
    ShowCounts();

    connect(&m_StartButton, &QPushButton::clicked, this, &CProductionView::OnStart);
    connect(&m_Table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        m_Table.selectRow(row);
        OnStart();
    });
    connect(&m_Table, &QTableWidget::itemSelectionChanged, this, &CProductionView::UpdateStartButton);
    connect(&m_AutoBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_Station) {
            return;
        }
        m_Station->SetAutoStart(on);
        if (on) { // the boards already waiting are as good as plugged in now
            for (const station::BoardView& board : m_Station->Boards()) {
                if (board.state == station::BoardState::Waiting) {
                    m_Station->Start(board.id);
                }
            }
            OnTimer();
        }
    });
    m_Timer.setInterval(kStepMs);
    connect(&m_Timer, &QTimer::timeout, this, &CProductionView::OnTimer);
}

CProductionView::~CProductionView() {
    Shutdown();
}

void CProductionView::Activate() {
    m_Active = true;
    MakeStation();
    if (m_MakeFeed) {
        m_Feed = m_MakeFeed();
        if (!m_Feed->Problem().isEmpty()) {
            m_StatusLine.setText(m_Feed->Problem());
        }
        connect(m_Feed.get(), &CDeviceFeed::Appeared, this, &CProductionView::OnAppeared);
        connect(m_Feed.get(), &CDeviceFeed::Gone, this, &CProductionView::OnGone);
    }
}

void CProductionView::Deactivate() {
    m_Feed.reset();
    StopStation();
    m_Present.clear();
    m_Active = false;
    ShowBoards();
}

void CProductionView::Shutdown() {
    if (m_ShutDown) {
        return;
    }
    m_ShutDown = true;
    if (m_Question) {
        m_Question->reject();
    }
    Deactivate(); // every run stops cleanly and its end is recorded
}

void CProductionView::OnFileChanged() {
    if (!m_Active) {
        return;
    }
    const bool same =
        m_Station && m_Doc.IsFileLoaded() && m_Station->Options().firmware == m_Doc.ProjectFilePath();
    if (!same) {
        MakeStation();
    }
}

void CProductionView::MakeStation() {
    StopStation();
    const std::string path = m_Doc.ProjectFilePath();
    const QString file = QString::fromStdString(path);
    if (path.empty()) {
        m_FileLine.setText(QString::fromUtf8(panel::kNoFirmwareText));
    } else if (!m_Doc.IsFileLoaded()) {
        m_FileLine.setText(
            QStringLiteral("%1 is not loaded (%2): open a firmware file with File > Open (Ctrl+O) "
                           "to program boards.")
                .arg(file, QString::fromStdString(m_Doc.LastLoadResult().Describe())));
    } else {
        station::StationOptions options;
        options.firmware = path;
        options.baudIndex = m_Doc.ComBaudrateIndex();
        options.autoStart = m_AutoBox.isChecked();
        m_Station = std::make_unique<station::CProductionStation>(std::move(options), station::Sha256OfFile);
        m_FileLine.setText(QStringLiteral("Firmware: %1").arg(file));
        for (const serial::SerialPortInfo& port : m_Present) {
            m_Station->OnAppeared(port);
        }
    }
    m_FileLine.setStyleSheet(m_Station ? QString() : QStringLiteral("color: #c00000; font-weight: bold"));
    OnTimer();
}

void CProductionView::StopStation() {
    m_Timer.stop();
    if (m_Station) {
        Ended(m_Station->Interrupt());
        m_Station.reset();
    }
    ShowBoards();
}

bool CProductionView::MayInterruptRuns() {
    if (!m_Station || !m_Station->Running()) {
        return true;
    }
    if (!AskStopRuns() || !m_Station) {
        return false;
    }
    Ended(m_Station->Interrupt());
    OnTimer();
    return true;
}

bool CProductionView::AskStopRuns() {
    const bool yes = AskYesNo(window(), kStopRunsQuestion, m_Question);
    // The program may have been told to end meanwhile; the runs were stopped with it.
    return !m_ShutDown && yes;
}

void CProductionView::OnAppeared(const serial::SerialPortInfo& port) {
    const bool known =
        std::any_of(m_Present.begin(), m_Present.end(),
                    [&](const serial::SerialPortInfo& other) { return other.path == port.path; });
    if (known) {
        return;
    }
    m_Present.push_back(port);
    if (m_Station) {
        m_Station->OnAppeared(port);
        OnTimer();
    }
}

void CProductionView::OnGone(const serial::SerialPortInfo& port) {
    std::erase_if(m_Present, [&](const serial::SerialPortInfo& other) { return other.path == port.path; });
    if (m_Station) {
        m_Station->OnGone(port);
        OnTimer();
    }
}

void CProductionView::OnStart() {
    if (!m_Station) {
        return;
    }
    const QModelIndexList selected = m_Table.selectionModel()->selectedRows();
    int id = 0;
    if (!selected.isEmpty()) {
        const auto row = static_cast<size_t>(selected.front().row());
        id = row < m_Shown.size() ? m_Shown[row].id : 0;
    } else {
        const auto waiting =
            std::find_if(m_Shown.begin(), m_Shown.end(), [](const station::BoardView& board) {
                return board.state == station::BoardState::Waiting;
            });
        id = waiting != m_Shown.end() ? waiting->id : 0;
    }
    if (id != 0 && m_Station->Start(id)) {
        OnTimer();
    }
}

void CProductionView::OnTimer() {
    if (m_Station) {
        Ended(m_Station->Step());
    }
    ShowBoards();
    if (m_Station && m_Station->Running()) {
        if (!m_Timer.isActive()) {
            m_Timer.start();
        }
    } else {
        m_Timer.stop(); // nothing moves while no board runs
    }
}

void CProductionView::Ended(std::vector<station::BoardEnd> ends) {
    for (const station::BoardEnd& end : ends) {
        m_Counts.Count(end);
        std::string error;
        if (station::Recorded(end) && m_RecordEnd && !m_RecordEnd(end, &error)) {
            ++m_LostRecords;
            const QString text = QString::fromStdString(
                panel::FlashLogTroubleText(m_LostRecords, end.board.name + ": " + error));
            m_StatusLine.setText(text);
            std::fprintf(stderr, "brenwick: %s\n", qPrintable(text));
        }
    }
    ShowCounts();
}

void CProductionView::ShowCounts() {
    m_CountsLine.setText(
        QString::fromStdString(panel::CountersText(m_Counts.passed, m_Counts.failed, m_Counts.skipped)));
}

void CProductionView::ShowBoards() {
    std::vector<station::BoardView> boards =
        m_Station ? m_Station->Boards() : std::vector<station::BoardView>{};
    const bool sameRows =
        std::equal(boards.begin(), boards.end(), m_Shown.begin(), m_Shown.end(),
                   [](const station::BoardView& a, const station::BoardView& b) { return a.id == b.id; });
    if (!sameRows) {
        const QModelIndexList selected = m_Table.selectionModel()->selectedRows();
        const int selectedId =
            selected.isEmpty() || static_cast<size_t>(selected.front().row()) >= m_Shown.size()
                ? 0
                : m_Shown[static_cast<size_t>(selected.front().row())].id;
        m_Table.clearSelection();
        m_Table.setRowCount(0);
        m_Table.setRowCount(static_cast<int>(boards.size()));
        for (int row = 0; row < m_Table.rowCount(); ++row) {
            for (int column : {ColState, ColPort, ColSerial, ColOutcome}) {
                m_Table.setItem(row, column, Cell().release()); // the table owns it
            }
            auto bar = std::make_unique<QProgressBar>();
            bar->setRange(0, 100);
            m_Table.setCellWidget(row, ColProgress, bar.release()); // the table owns it
            if (boards[static_cast<size_t>(row)].id == selectedId) {
                m_Table.selectRow(row);
            }
        }
    }
    for (int row = 0; row < m_Table.rowCount(); ++row) {
        const panel::ProductionRow shown = panel::RowOf(boards[static_cast<size_t>(row)]);
        QTableWidgetItem* state = m_Table.item(row, ColState);
        SetText(state, QString::fromStdString(shown.state));
        state->setData(Qt::DecorationRole, widgets::ToQColor(shown.lamp));
        SetText(m_Table.item(row, ColPort), QString::fromStdString(shown.port));
        SetText(m_Table.item(row, ColSerial), QString::fromStdString(shown.serialNumber));
        SetText(m_Table.item(row, ColOutcome), QString::fromStdString(shown.outcome));
        static_cast<QProgressBar*>(m_Table.cellWidget(row, ColProgress))->setValue(shown.percent);
    }
    m_Shown = std::move(boards);
    UpdateStartButton();
}

void CProductionView::UpdateStartButton() {
    bool startable = false;
    if (m_Station) {
        const QModelIndexList selected = m_Table.selectionModel()->selectedRows();
        const auto canStart = [](const station::BoardView& board) {
            return board.present && board.state != station::BoardState::Running;
        };
        if (!selected.isEmpty()) {
            const auto row = static_cast<size_t>(selected.front().row());
            startable = row < m_Shown.size() && canStart(m_Shown[row]);
        } else {
            startable = std::any_of(m_Shown.begin(), m_Shown.end(), [](const station::BoardView& board) {
                return board.state == station::BoardState::Waiting;
            });
        }
    }
    m_StartButton.setEnabled(startable);
}

QSize CProductionView::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.averageCharWidth() * 120, metrics.height() * 16};
}

int CProductionView::RowOfPort(const std::string& path) const {
    for (size_t row = 0; row < m_Shown.size(); ++row) {
        if (m_Shown[row].port == path) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

} // namespace brenwick::app
