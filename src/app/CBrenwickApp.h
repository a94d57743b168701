#pragma once

#include "app/CMainFrame.h"
#include "app/DemoBoards.h"
#include "app/DemoDevice.h"
#include "app/QtSettingsStore.h"
#include "app/SingleInstance.h"
#include "app/StopSignals.h"
#include "document/BrenwickDoc.h"
#include "panel/CommandLine.h"
#include "panel/RecentFiles.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace brenwick::app {

// The File Open filter. Qt separates patterns with spaces: "*.hex; *.bin" would hide every .hex file.
inline constexpr const char* kFlashFileFilter = "Flash Files (*.hex *.bin)";

// The program: one copy per user, the settings store, the document, the main window with its panel, the
// command line, and the commands File New, File Open and About.
class CBrenwickApp : public QObject {
    Q_OBJECT

  public:
    explicit CBrenwickApp(panel::AppOptions options, QObject* parent = nullptr);
    ~CBrenwickApp() override;

    // Starts the program; false when it must end at once (another copy runs, or demo mode cannot start),
    // with the exit status in ExitCode().
    bool InitInstance();
    int ExitCode() const { return m_ExitCode; }

    void OnFileNew();
    void OnFileOpen();
    // File Open of a given file (the dialog, a recent file, a dropped file, the command line).
    bool OpenDocument(const QString& path);
    void OnAppAbout();

    CMainFrame* MainFrame() const { return m_Frame.get(); }
    CBrenwickDoc& Document() { return *m_Doc; }
    const panel::CRecentFiles& RecentFiles() const { return m_Recent; }

  private:
    void OnClosing();
    void ReportSettingsTrouble(const QString& what);
    bool StartDemo();

    panel::AppOptions m_Options;
    int m_ExitCode = 0;
    QString m_ModuleDir;
    QString m_HelpFolder;
    std::unique_ptr<CSingleInstance> m_Instance;
    std::unique_ptr<CStopSignals> m_StopSignals;
    std::unique_ptr<CDemoDevice> m_Demo;
    std::unique_ptr<CDemoBoards> m_DemoBoards; // with --boards: the production view's boards
    std::unique_ptr<CBrenwickDoc> m_Doc;
    std::unique_ptr<CQtSettingsStore> m_Store;
    std::unique_ptr<CMainFrame> m_Frame; // last: destroyed first, which stops the worker
    panel::CRecentFiles m_Recent;
    bool m_SettingsTroubleReported = false;
    QString m_StartupWarning; // shown once the window is there

    // Demo mode uses its own port and file; the user's stored ones are written back at close.
    std::optional<std::string> m_StoredPort;
    std::string m_StoredProjectPath;
    std::string m_DemoFile;
};

} // namespace brenwick::app
