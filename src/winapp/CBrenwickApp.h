#pragma once

#include "document/BrenwickDoc.h"
#include "panel/CommandLine.h"
#include "panel/RecentFiles.h"
#include "winapp/CMainFrame.h"
#include "winapp/RegistryStore.h"
#include "winapp/SingleInstance.h"

#include <memory>
#include <string>
#include <windows.h>

namespace brenwick::winapp {

// The File Open filter; Windows separates the patterns with semicolons.
inline constexpr wchar_t kFlashFileFilter[] =
    L"Flash Files (*.hex; *.bin)\0*.hex;*.bin\0All Files (*.*)\0*.*\0";

// Where the program keeps its things; the defaults are the installed program's.
struct AppPlaces {
    std::string registryRoot = "Software\\Veltmark\\Brenwick";
    std::wstring instanceName;   // the single-instance name; empty: the program file's base name
    std::wstring helpFolder;     // empty: "help" beside the program
    DeviceSourceFactory devices; // the production view's devices; empty: the system's serial devices
    FlashLogWriter flashLog;     // where the production view logs its runs; empty: the flash log
};

// The program: one copy per session, the settings in the registry, the document, the main window with its
// panel, the command line, and the commands File New, File Open, the recent files and About.
class CBrenwickApp {
  public:
    explicit CBrenwickApp(panel::AppOptions options, AppPlaces places = {});
    ~CBrenwickApp();
    CBrenwickApp(const CBrenwickApp&) = delete;
    CBrenwickApp& operator=(const CBrenwickApp&) = delete;

    // Starts the program and shows its window; false when it must end at once (another copy runs, or the
    // window cannot be made), with the exit status in ExitCode().
    bool InitInstance(int showCommand);
    // The message loop, until the main window is gone; the exit status.
    int Run();
    int ExitCode() const { return m_ExitCode; }

    void OnFileNew();
    void OnFileOpen();
    // File Open of a given file (the dialog, a recent file, a dropped file, the command line).
    bool OpenDocument(const std::string& path);
    void OnAppAbout();

    CMainFrame* MainFrame() const { return m_Frame.get(); }
    CBrenwickDoc& Document() { return *m_Doc; }
    const panel::CRecentFiles& RecentFiles() const { return m_Recent; }

  private:
    bool OnAppCommand(UINT command);
    bool PreTranslate(MSG& message);
    void OnClosing();

    panel::AppOptions m_Options;
    AppPlaces m_Places;
    int m_ExitCode = 0;
    std::unique_ptr<CSingleInstance> m_Instance;
    std::unique_ptr<CRegistryStore> m_Store;
    std::unique_ptr<CBrenwickDoc> m_Doc;
    std::unique_ptr<CMainFrame> m_Frame; // last: destroyed first, which stops the worker
    HACCEL m_Accelerators = nullptr;
    panel::CRecentFiles m_Recent;
};

// The folder the program file lies in, without a trailing separator.
std::wstring ProgramFolder();
// The program file's base name, without folder and extension.
std::wstring ProgramBaseName();

} // namespace brenwick::winapp
