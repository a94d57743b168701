#include "app/CMainFrame.h"

#include "app/CPortSetupDlg.h"
#include "app/FramePlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

namespace brenwick::app {

namespace {

// The first local file among the dropped ones.
QString DroppedFile(const QMimeData* data) {
    if (data == nullptr) {
        return {};
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

} // namespace

CMainFrame::CMainFrame(CBrenwickDoc& doc, ISettingsStore& store, QWidget* parent)
    : QMainWindow(parent), m_Doc(doc), m_Store(store) {
    auto view = std::make_unique<CBrenwickView>(doc, store);
    m_View = view.get();
    setCentralWidget(view.release()); // the window owns its central widget
    auto production = std::make_unique<CProductionView>(doc, this);
    m_Production = production.release(); // owned by the window
    m_Production->hide();
    m_View->m_OnEveryInitialUpdate = [this] { ApplyStayOnTop(); };
    BuildMenus();
    setAcceptDrops(true);
    UpdateTitle({});

    // Creation: the placement and Stay On Top, then the last file's path, which the document reloads next.
    m_HasSavedPlacement = LoadWindowPlacement(m_SavedPlacement);
    if (!m_HasSavedPlacement) {
        m_bStayOnTop = 0;
    }
    m_Doc.SetProjectFilePath(
        m_Store.GetString(store_key::kFilePaths, store_key::kProjectFilePath).value_or(std::string()));
    m_StayOnTopAction->setChecked(m_bStayOnTop != 0);
}

CMainFrame::~CMainFrame() {
    m_Production->Shutdown();
    m_View->Shutdown();
}

void CMainFrame::BuildMenus() {
    m_FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    // File New has a key but no menu line.
    m_FileNew = std::make_unique<QAction>(QStringLiteral("&New"), this).release(); // owned by the window
    m_FileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    addAction(m_FileNew);
    m_FileOpen = m_FileMenu->addAction(QStringLiteral("&Open..."));
    m_FileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_StayOnTopAction = m_FileMenu->addAction(QStringLiteral("Stay On &Top"));
    m_StayOnTopAction->setCheckable(true);
    connect(m_StayOnTopAction, &QAction::triggered, this, [this] { OnStayOnTop(); });
    m_FileMenu->addSeparator();
    m_RecentPlaceholder = m_FileMenu->addAction(QStringLiteral("Recent File"));
    m_RecentPlaceholder->setEnabled(false);
    m_RecentSeparator = m_FileMenu->addSeparator();
    m_Exit = m_FileMenu->addAction(QStringLiteral("E&xit"));
    connect(m_Exit, &QAction::triggered, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    m_ProductionAction = view->addAction(QStringLiteral("&Production"));
    m_ProductionAction->setCheckable(true);
    m_ProductionAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    m_ProductionAction->setStatusTip(QStringLiteral("Program every board that is plugged in"));
    connect(m_ProductionAction, &QAction::triggered, this, [this](bool on) { SetProductionMode(on); });

    m_PortSetupAction = menuBar()->addAction(QStringLiteral("&PortSetup"));
    connect(m_PortSetupAction, &QAction::triggered, this, [this] { OnPortSetup(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    m_About = help->addAction(QStringLiteral("&About Brenwick..."));
    m_Help = help->addAction(QStringLiteral("&Help..."));
    m_Help->setShortcut(QKeySequence::HelpContents);
    connect(m_Help, &QAction::triggered, this, [this] { OnHelpFinder(); });
}

void CMainFrame::SetRecentFiles(const QStringList& files) {
    for (QAction* action : m_RecentActions) {
        m_FileMenu->removeAction(action);
        action->deleteLater();
    }
    m_RecentActions.clear();
    m_RecentPlaceholder->setVisible(files.isEmpty());
    int number = 1;
    for (const QString& file : files) {
        auto action = std::make_unique<QAction>(QStringLiteral("&%1 %2").arg(number++).arg(file), m_FileMenu);
        connect(action.get(), &QAction::triggered, this, [this, file] { emit RecentFileChosen(file); });
        m_FileMenu->insertAction(m_RecentSeparator, action.get());
        m_RecentActions.append(action.release()); // the menu owns it
    }
}

void CMainFrame::UpdateTitle(const QString& documentPath) {
    const QString name =
        documentPath.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(documentPath).fileName();
    setWindowTitle(QStringLiteral("%1 - Brenwick").arg(name));
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

void CMainFrame::ActivateFrame() {
    if (m_HasSavedPlacement) {
        ApplyPlacement(*this, m_SavedPlacement, ScreenAreas());
        m_LastNormalRect = QRect(pos(), size());
        ShowInPlacement(*this, m_SavedPlacement);
    } else {
        // A first window wide enough to read both device lines of a typical board.
        resize(std::max(width(), m_View->WidthForTypicalLines()), height());
        show();
    }
}

void CMainFrame::ApplyStayOnTop() {
    const bool wanted = m_bStayOnTop != 0;
    m_StayOnTopAction->setChecked(wanted);
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == wanted) {
        return;
    }
    // Changing a window's flags hides it; only the z-order is meant to change.
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, wanted);
    if (visible) {
        show();
    }
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
    auto dialog = std::make_unique<CPortSetupDlg>(this);
    m_PortSetup = dialog.get();
    dialog->m_PortName = m_Doc.ActivePortName();
    dialog->m_BaudIndex = m_Doc.ComBaudrateIndex();
    m_Doc.PostCommand(WorkerCommand::Disconnect);
    m_Doc.ClosePort(); // safe beside the worker's own close
    if (dialog->exec() == QDialog::Accepted) {
        m_Doc.SetPortSettings(dialog->m_PortName, dialog->m_BaudIndex);
    }
}

bool CMainFrame::SetProductionMode(bool on) {
    if (on != m_InProduction) {
        if (on) {
            // The station opens ports of its own: the panel lets go of its port first, asking before a run.
            m_View->NoteAction();
            if (!m_View->MayInterruptRun()) {
                m_ProductionAction->setChecked(false);
                return false;
            }
            m_Doc.PostCommand(WorkerCommand::Disconnect);
            m_Doc.ClosePort(); // at once, before the station may open the same device
            m_ClassicSize = size();
            ShowCentral(m_Production);
            m_InProduction = true;
            m_Production->Activate();
            const QSize wanted = m_Production->sizeHint();
            resize(std::max(width(), wanted.width()), std::max(height(), wanted.height()));
        } else {
            if (!m_Production->MayInterruptRuns()) {
                m_ProductionAction->setChecked(true);
                return false;
            }
            m_Production->Deactivate();
            ShowCentral(m_View);
            m_InProduction = false;
            if (m_ClassicSize.isValid() && !isMaximized() && !isFullScreen()) {
                resize(m_ClassicSize);
            }
        }
    }
    m_ProductionAction->setChecked(m_InProduction);
    return true;
}

void CMainFrame::ShowCentral(QWidget* shown) {
    if (QWidget* old = takeCentralWidget()) {
        old->setParent(this); // kept, hidden, for the next switch
        old->hide();
    }
    setCentralWidget(shown);
    shown->show();
}

bool CMainFrame::MayInterruptRun() {
    return m_InProduction ? m_Production->MayInterruptRuns() : m_View->MayInterruptRun();
}

void CMainFrame::OnHelpFinder() {
    if (!m_HelpWindow) {
        m_HelpWindow = std::make_unique<CHelpWindow>(this).release(); // owned by this window
    }
    m_HelpWindow->ShowIndex(m_HelpFolder);
}

void CMainFrame::RaiseForAnotherCopy() {
    if (isMinimized()) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    show();
    raise();
    activateWindow();
    if (QWidget* dialog = QApplication::activeModalWidget()) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void CMainFrame::NoteNormalRect() {
    if (isVisible() && !isMaximized() && !isMinimized() && !isFullScreen()) {
        m_LastNormalRect = QRect(pos(), size());
    }
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    NoteNormalRect();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    NoteNormalRect();
}

void CMainFrame::CloseNow() {
    m_CloseWithoutAsking = true;
    if (CPortSetupDlg* dialog = m_PortSetup.data()) {
        dialog->reject(); // its run returns once the window is closed
    }
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_Closed) {
        event->accept();
        return;
    }
    if (!m_CloseWithoutAsking && !MayInterruptRun()) {
        event->ignore();
        return;
    }
    m_Closed = true;
    m_Store.PutString(store_key::kFilePaths, store_key::kProjectFilePath, m_Doc.ProjectFilePath());
    SaveWindowPlacement(CapturePlacement(*this, m_SavedPlacement, m_LastNormalRect));
    if (m_OnClosing) {
        m_OnClosing();
    }
    // Then the station's runs and the panel: timer, worker (ended cleanly, even in the middle of a run),
    // port.
    m_Production->Shutdown();
    m_View->Shutdown();
    if (m_HelpWindow) {
        m_HelpWindow->close();
    }
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString file = DroppedFile(event->mimeData());
    if (!file.isEmpty()) {
        event->acceptProposedAction();
        emit FileDropped(file);
    }
}

} // namespace brenwick::app
