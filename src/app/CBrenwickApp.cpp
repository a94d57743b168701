#include "app/CBrenwickApp.h"

#include "app/AboutDlg.h"
#include "app/DeviceFeed.h"
#include "app/HelpWindow.h"
#include "panel/FlashLogSetting.h"
#include "panel/PanelCommands.h"
#include "station/BoardRecord.h"
#include "station/FlashLog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <string>
#include <vector>

namespace brenwick::app {

namespace {

// A path as the recent files keep it: absolute, as the window opens files.
std::string RecentEntry(const QString& path) {
    const QFileInfo info(path);
    return (info.isRelative() ? info.absoluteFilePath() : path).toStdString();
}

std::vector<std::string> RecentEntries(const QStringList& paths) {
    std::vector<std::string> entries;
    for (const QString& path : paths) {
        if (!path.isEmpty()) {
            entries.push_back(RecentEntry(path));
        }
    }
    return entries;
}

QStringList ToQStrings(const std::vector<std::string>& paths) {
    QStringList list;
    for (const std::string& path : paths) {
        list.append(QString::fromStdString(path));
    }
    return list;
}

} // namespace

CBrenwickApp::CBrenwickApp(panel::AppOptions options, QObject* parent)
    : QObject(parent), m_Options(std::move(options)) {}

CBrenwickApp::~CBrenwickApp() {
    // The panel stops the worker and closes the port before the document and the demo device go.
    m_Frame.reset();
    m_Doc.reset();
}

bool CBrenwickApp::InitInstance() {
    // Signals that arrive from here on close the program as File > Exit does, once the loop runs.
    m_StopSignals = std::make_unique<CStopSignals>();

    // One copy per user: a later one raises the first and ends without touching settings or files.
    m_Instance =
        std::make_unique<CSingleInstance>(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    if (!m_Instance->Acquire()) {
        m_ExitCode = 0;
        return false;
    }

    m_Store = std::make_unique<CQtSettingsStore>();
    if (m_Store->ReadFailed()) {
        const QString text =
            QStringLiteral("%1 could not be read; it was kept as %1.bad and the default settings are used")
                .arg(m_Store->FileName());
        std::fprintf(stderr, "brenwick: %s\n", qPrintable(text));
        m_StartupWarning = text + QLatin1Char('.');
    }
    if (!m_Store->IsWritable()) {
        ReportSettingsTrouble(QStringLiteral("%1 cannot be written").arg(m_Store->FileName()));
    }
    m_Recent.Set(RecentEntries(m_Store->RecentFiles()));
    m_ModuleDir = QCoreApplication::applicationDirPath();

    if (m_Options.demo && !StartDemo()) {
        m_ExitCode = 1;
        return false;
    }

    m_Doc = std::make_unique<CBrenwickDoc>();
    // The window reads files on a disk only: a FIFO or a device could keep it waiting for a writer.
    ReadLimits limits;
    limits.regularFilesOnly = true;
    m_Doc->SetReadLimits(limits);
    m_Frame = std::make_unique<CMainFrame>(*m_Doc, *m_Store);
    m_Frame->m_OnClosing = [this] { OnClosing(); };
    m_Frame->SetRecentFiles(ToQStrings(m_Recent.Files()));
    connect(&m_Frame->FileNewAction(), &QAction::triggered, this, &CBrenwickApp::OnFileNew);
    connect(&m_Frame->FileOpenAction(), &QAction::triggered, this, &CBrenwickApp::OnFileOpen);
    connect(&m_Frame->AboutAction(), &QAction::triggered, this, &CBrenwickApp::OnAppAbout);
    connect(m_Frame.get(), &CMainFrame::RecentFileChosen, this,
            [this](const QString& path) { OpenDocument(path); });
    connect(m_Frame.get(), &CMainFrame::FileDropped, this,
            [this](const QString& path) { OpenDocument(path); });
    connect(m_Instance.get(), &CSingleInstance::RaiseRequested, m_Frame.get(),
            &CMainFrame::RaiseForAnotherCopy);
    connect(m_StopSignals.get(), &CStopSignals::StopRequested, m_Frame.get(), &CMainFrame::CloseNow);
    if (m_DemoBoards) {
        m_Frame->Production().m_MakeFeed = [boards = m_DemoBoards.get()] { return boards->MakeFeed(); };
    } else {
        m_Frame->Production().m_MakeFeed = [] { return MakeWatcherFeed(); };
    }
    m_Frame->Production().m_RecordEnd =
        [log = panel::FlashLogPathFrom(*m_Store)](const station::BoardEnd& end, std::string* error) {
            return log.empty() || station::AppendFlashRecord(log, station::RecordOf(end), error);
        };

    if (m_Options.demo) {
        m_StoredProjectPath = m_Doc->ProjectFilePath();
        m_Doc->SetProjectFilePath(m_DemoFile);
    }
    // The panel first, so that it can tell why a file did not load; then the document's first
    // initialisation: the named file, or the last one again.
    m_Frame->View().OnInitialUpdate();
    if (!m_Options.file.empty()) {
        m_Doc->SkipFirstReload();
        if (!OpenDocument(QString::fromStdString(m_Options.file))) {
            // The window still opens, with no file loaded and the reason on it, rather than vanishing.
            std::fprintf(stderr, "brenwick: %s: %s\n", m_Options.file.c_str(),
                         m_Doc->LastLoadResult().Describe().c_str());
        }
    } else {
        const std::string last = m_Doc->ProjectFilePath();
        m_Doc->OnNewDocument();
        m_Frame->UpdateTitle(QString::fromStdString(m_Doc->PathName()));
        if (!last.empty() && !m_Doc->IsFileLoaded()) {
            m_Frame->View().NoteAction(QFileInfo(QString::fromStdString(last)).fileName().toStdString() +
                                       " could not be loaded again: " + m_Doc->LastLoadResult().Describe());
        }
    }
    if (m_Options.demo) {
        // The simulated port for this run only; the stored one is put back at close.
        m_StoredPort = m_Store->GetString(store_key::kStringsSection, store_key::kPortName);
        const int index = m_Doc->ComBaudrateIndex();
        const bool inTable = index >= 0 && index <= protocol::kMaxBaudIndex;
        m_Doc->SetPortSettings(m_Demo->PortPath(), inTable ? index : protocol::kDefaultBaudIndex);
    }
    m_Frame->ActivateFrame();
    if (m_DemoBoards) {
        m_Frame->SetProductionMode(true); // after the placement: the window grows to the production view
    }

    if (!m_StartupWarning.isEmpty()) {
        // Said once in the window too: an operator started from the desktop never sees standard error.
        auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, QStringLiteral("Brenwick"),
                                                 m_StartupWarning, QMessageBox::Ok, m_Frame.get());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box.release()->show(); // owned by the window, deleted when closed
    }
    m_HelpFolder = FindHelpFolder(m_ModuleDir);
    m_Frame->SetHelpFolder(m_HelpFolder);
    return true;
}

bool CBrenwickApp::StartDemo() {
    m_Demo = std::make_unique<CDemoDevice>();
    QString error;
    m_DemoFile = m_Demo->FindExampleFirmware(m_ModuleDir, &error).toStdString();
    if (m_DemoFile.empty() || !m_Demo->Start(&error)) {
        std::fprintf(stderr, "brenwick: demo mode cannot start: %s\n", qPrintable(error));
        return false;
    }
    if (m_Options.boards > 0) {
        m_DemoBoards = std::make_unique<CDemoBoards>();
        if (!m_DemoBoards->Start(m_Options.boards, &error)) {
            std::fprintf(stderr, "brenwick: demo mode cannot start: %s\n", qPrintable(error));
            return false;
        }
    }
    return true;
}

void CBrenwickApp::OnFileNew() {
    if (!m_Frame->MayInterruptRun()) {
        return;
    }
    // The window keeps its place and size; the panel is not set up again.
    m_Doc->OnNewDocument();
    m_Frame->UpdateTitle({});
    m_Frame->View().NoteAction();
    m_Frame->Production().OnFileChanged();
}

void CBrenwickApp::OnFileOpen() {
    const QString folder = m_Doc->ProjectFilePath().empty()
                               ? QString()
                               : QFileInfo(QString::fromStdString(m_Doc->ProjectFilePath())).absolutePath();
    const QString file = QFileDialog::getOpenFileName(m_Frame.get(), QStringLiteral("Open"), folder,
                                                      QString::fromLatin1(kFlashFileFilter));
    if (!file.isEmpty()) {
        OpenDocument(file);
    }
}

bool CBrenwickApp::OpenDocument(const QString& path) {
    if (!m_Frame->MayInterruptRun()) {
        return false;
    }
    const panel::OpenOutcome opened =
        panel::OpenFirmware(*m_Doc, m_Recent, QFileInfo(path).absoluteFilePath().toStdString());
    // The window keeps its place and size; the panel is not set up again.
    if (opened.loaded) {
        m_Frame->UpdateTitle(QString::fromStdString(m_Doc->PathName()));
    } else if (opened.nothingLoaded) {
        m_Frame->UpdateTitle({});
    }
    if (opened.recentChanged) {
        m_Frame->SetRecentFiles(ToQStrings(m_Recent.Files()));
    }
    m_Frame->View().NoteAction(opened.told);
    m_Frame->Production().OnFileChanged();
    return opened.loaded;
}

void CBrenwickApp::OnAppAbout() {
    CAboutDlg about(m_Frame.get());
    about.exec();
}

void CBrenwickApp::OnClosing() {
    bool written = true;
    if (m_Options.demo) {
        // Leave the user's own port and file in the settings, unless they chose others meanwhile.
        if (m_Doc->ActivePortName() == m_Demo->PortPath()) {
            m_Doc->SetPortSettings(m_StoredPort.value_or(std::string()), m_Doc->ComBaudrateIndex());
        }
        if (m_Doc->ProjectFilePath() == m_DemoFile) {
            written =
                m_Store->PutString(store_key::kFilePaths, store_key::kProjectFilePath, m_StoredProjectPath) &&
                written;
        }
        m_Recent.Remove(m_DemoFile);
    }
    written = m_Doc->SaveSettings(*m_Store) != 0 && written;
    written = m_Store->PutRecentFiles(ToQStrings(m_Recent.Files())) && written;
    if (!written) {
        ReportSettingsTrouble(QStringLiteral("%1 could not be written").arg(m_Store->FileName()));
    }
}

void CBrenwickApp::ReportSettingsTrouble(const QString& what) {
    if (m_SettingsTroubleReported) {
        return; // once per run is enough
    }
    m_SettingsTroubleReported = true;
    const QString text =
        QStringLiteral("%1: the port, the window and the last file will not be remembered").arg(what);
    std::fprintf(stderr, "brenwick: %s\n", qPrintable(text));
    if (!m_Frame) {
        m_StartupWarning +=
            (m_StartupWarning.isEmpty() ? QString() : QStringLiteral("\n")) + text + QLatin1Char('.');
    }
}

} // namespace brenwick::app
