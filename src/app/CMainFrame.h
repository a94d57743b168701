#pragma once

#include "app/CBrenwickView.h"
#include "app/CPortSetupDlg.h"
#include "app/HelpWindow.h"
#include "app/ProductionView.h"
#include "panel/WindowPlacement.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

namespace brenwick::app {

// The main window: the menus, the operator panel inside, the window placement and Stay On Top kept across
// runs, the last firmware file's path, the port setup and the help window.
class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    // Reads "WindowPos" and "FilePaths" from the store, as the frame's creation does.
    CMainFrame(CBrenwickDoc& doc, ISettingsStore& store, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CBrenwickView& View() { return *m_View; }
    CProductionView& Production() { return *m_Production; }

    // View > Production: the production view in place of the classic panel, or back. The panel goes off line
    // before the station may open any port; going back stops the station's runs. False when the operator
    // kept a run going (the mode stays as it was).
    bool SetProductionMode(bool on);
    bool InProduction() const { return m_InProduction; }
    // Before something that would cut a run short: the shown view asks the operator. True when it may go on.
    bool MayInterruptRun();

    // Puts the window where the settings had it (pulled onto a screen if need be) and shows it.
    void ActivateFrame();
    void ApplyStayOnTop();
    void OnStayOnTop();

    void OnPortSetup();
    // Help > Help...: the help window at its index page; nothing when the pages are missing.
    void OnHelpFinder();
    void SetHelpFolder(const QString& folder) { m_HelpFolder = folder; }
    CHelpWindow* HelpWindow() const { return m_HelpWindow.data(); }
    // The port setup dialog while it is open.
    CPortSetupDlg* PortSetupDialog() const { return m_PortSetup.data(); }

    // A second copy of the program asked for this window: restore it, bring it and its dialog to the front.
    void RaiseForAnotherCopy();
    // Closes without asking, even in the middle of a run (a stop signal): the run is stopped cleanly.
    void CloseNow();

    void SetRecentFiles(const QStringList& files);
    void UpdateTitle(const QString& documentPath);

    // Run by the close after the frame wrote its own values and before the panel stops: the application
    // writes the document's settings and the recent files.
    std::function<void()> m_OnClosing;

    QAction& FileNewAction() { return *m_FileNew; }
    QAction& FileOpenAction() { return *m_FileOpen; }
    QAction& StayOnTopAction() { return *m_StayOnTopAction; }
    QAction& AboutAction() { return *m_About; }
    QAction& HelpAction() { return *m_Help; }
    QAction& ProductionAction() { return *m_ProductionAction; }
    const QList<QAction*>& RecentActions() const { return m_RecentActions; }

  signals:
    void RecentFileChosen(const QString& path);
    void FileDropped(const QString& path);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool LoadWindowPlacement(panel::WindowPlacement& placement);
    void SaveWindowPlacement(panel::WindowPlacement placement);
    void BuildMenus();
    void NoteNormalRect();
    void ShowCentral(QWidget* shown);

    CBrenwickDoc& m_Doc;
    ISettingsStore& m_Store;
    CBrenwickView* m_View;         // owned by the window, its central widget in the classic mode
    CProductionView* m_Production; // owned by the window, its central widget in production mode
    bool m_InProduction = false;
    QSize m_ClassicSize; // the window's size when it left the classic panel
    int m_bStayOnTop = 0;
    panel::WindowPlacement m_SavedPlacement;
    bool m_HasSavedPlacement = false;
    bool m_Closed = false;
    bool m_CloseWithoutAsking = false;
    QRect m_LastNormalRect; // where the window was when it was last neither maximised nor minimised
    QString m_HelpFolder;
    QPointer<CHelpWindow> m_HelpWindow;
    QPointer<CPortSetupDlg> m_PortSetup;

    QMenu* m_FileMenu = nullptr;
    QAction* m_FileNew = nullptr;
    QAction* m_FileOpen = nullptr;
    QAction* m_StayOnTopAction = nullptr;
    QAction* m_RecentPlaceholder = nullptr;
    QAction* m_RecentSeparator = nullptr;
    QAction* m_Exit = nullptr;
    QAction* m_PortSetupAction = nullptr;
    QAction* m_ProductionAction = nullptr;
    QAction* m_About = nullptr;
    QAction* m_Help = nullptr;
    QList<QAction*> m_RecentActions;
};

} // namespace brenwick::app
