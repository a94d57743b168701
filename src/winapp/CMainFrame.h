#pragma once

#include "document/BrenwickDoc.h"
#include "panel/WindowPlacement.h"
#include "winapp/CBrenwickView.h"
#include "winapp/ProductionView.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

namespace brenwick::winapp {

// The main window: the menu, the operator panel inside (or the production view, View > Production), the
// window placement and Stay On Top kept across runs, the last firmware file's path, the port setup and the
// help pages.
class CMainFrame {
  public:
    CMainFrame(CBrenwickDoc& doc, ISettingsStore& store);
    ~CMainFrame();
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // Makes the window (not shown yet) with the panel inside; reads "WindowPos" and "FilePaths" as it is
    // made. False when the system refuses.
    bool Create();
    HWND Window() const { return m_Window; }
    CBrenwickView& View() { return *m_View; }

    // Puts the window where the settings had it (pulled onto a screen if need be) and shows it.
    void ActivateFrame(int showCommand);
    void ApplyStayOnTop();
    void OnStayOnTop();
    bool StayOnTop() const { return m_bStayOnTop != 0; }
    void OnPortSetup();
    // Help > Help... and F1: the help pages' index in the user's browser; nothing when they are missing.
    void OnHelpFinder();
    void SetHelpFolder(std::wstring folder) { m_HelpFolder = std::move(folder); }

    // Ends the window: asks first while a run is changing the board, unless `ask` is false (the session
    // ends); writes the settings, stops the panel and destroys the window. False when the operator said no.
    bool Close(bool ask);

    // View > Production: switches between the panel and the production view. The panel goes off line first
    // (the two never hold the same port); the production view's runs stop when it goes, after asking while a
    // board is being programmed.
    void OnProduction();
    bool Production() const { return m_ProductionOn; }
    // The form the keyboard works in: the panel or the production view.
    HWND ActiveForm() const;
    // Before the document's file changes or the window ends: asks while a run is changing a board, and on yes
    // stops the panel's run (the production view's stop at FirmwareChanged or at the close). True when the
    // change may go on.
    bool MayInterruptRuns();
    // The document's file changed: the production view starts again with it; `told` says why it did not
    // load.
    void FirmwareChanged(const std::string& told);

    void SetRecentFiles(const std::vector<std::string>& files);
    void UpdateTitle(const std::string& documentPath);

    // Commands the application handles: File New, File Open, About and the recent files (their number is
    // passed). True when handled.
    std::function<bool(UINT command)> m_OnAppCommand;
    std::function<void(const std::string& path)> m_OnFileDropped;
    // Run by the close after the frame wrote its own values and before the panel stops: the application
    // writes the document's settings and the recent files.
    std::function<void()> m_OnClosing;
    // Run as the window goes, while it still exists (the message loop ends here).
    std::function<void()> m_OnDestroyed;
    // Where the production view's devices come from and where its runs are logged; set before the view is
    // first shown.
    DeviceSourceFactory m_ProductionDevices = WatchSerialDevices;
    FlashLogWriter m_FlashLog; // the production view's record of each run; none when empty

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnCommand(UINT command);
    bool LoadWindowPlacement(panel::WindowPlacement& placement);
    void SaveWindowPlacement(panel::WindowPlacement placement);
    void SaveSettings();
    SIZE FrameSizeFor(SIZE client) const;
    SIZE ActiveDesignSize() const;
    // Starts the production view on the current file, at the port setup's speed.
    void BeginProduction(const std::string& told = {});
    std::string ProductionFirmware() const;

    CBrenwickDoc& m_Doc;
    ISettingsStore& m_Store;
    HWND m_Window = nullptr;
    std::unique_ptr<CBrenwickView> m_View;
    std::unique_ptr<CProductionView> m_Production; // made when first shown
    bool m_ProductionOn = false;
    int m_bStayOnTop = 0;
    std::optional<panel::WindowPlacement> m_SavedPlacement;
    bool m_SettingsWritten = false;
    HWND m_LastFocus = nullptr;
    std::wstring m_HelpFolder;
    size_t m_RecentCount = 0;
};

} // namespace brenwick::winapp
