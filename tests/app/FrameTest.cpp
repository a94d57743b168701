// The main window and the application object in this process: the stored placement and Stay On Top, the port
// setup dialog and flow, the help, opening and dropping files, the fit to the form.
#include "AppRig.h"
#include "app/AppIcon.h"
#include "app/CBrenwickApp.h"
#include "app/CPortSetupDlg.h"
#include "app/FramePlacement.h"
#include "app/HelpWindow.h"
#include "app/WindowPlacement.h"

#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QSettings>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace brenwick;
using namespace brenwick::app;

namespace {

// Read at start and written back at close, with Stay On Top toggled from the menu before; what cannot be
// read restores nothing.
TEST(StoredPlacement, IsRestoredAndWrittenBack) {
    const struct {
        const char* stored;
        bool restored, stayOnTop, maximized, atHundred; // at 100,100 with a 320x200 frame
        const char* savedAgain;                         // the placement the close writes, when known
    } cases[] = {
        {"32768:1:0:0:0:0:100:100:420:300", true, true, false, true, "0:1:0:0:0:0:100:100:420:300"},
        {"0x8002:3:0:0:0:0:0:0:400:300", true, true, true, false, "2:3:0:0:0:0:0:0:400:300"},
        {"00:01:0:0:0:0:0144:0144:0644:0454", true, false, false, true, "0:1:0:0:0:0:100:100:420:300"},
        {"32768:1:0:0:0:0:10:10:300", false, false, false, false, nullptr},
        {"left of the door", false, false, false, false, nullptr},
        {"0:1:0:0:0:0:9000:-7000:9320:-6800", true, false, false, false, nullptr}, // pulled onto a screen
    };
    for (const auto& c : cases) {
        CAppRig rig({}, false);
        rig.m_Store.PutString("WindowPos", "WindowPos", c.stored);
        rig.Open();
        Pump(50);
        auto& frame = *rig.m_Frame;
        const QRect placed(frame.pos(), frame.size());
        EXPECT_EQ(frame.HasSavedPlacement(), c.restored) << c.stored;
        EXPECT_EQ(frame.isMaximized(), c.maximized) << c.stored;
        EXPECT_TRUE(ScreenAreas().front().contains(placed)) << c.stored;
        if (c.restored && !c.maximized) {
            EXPECT_EQ(placed.size(), QSize(320, 200)) << c.stored;
        }
        if (c.atHundred) {
            EXPECT_EQ(placed.topLeft(), QPoint(100, 100)) << c.stored;
        }
        for (const bool onTop : {c.stayOnTop, !c.stayOnTop}) {
            EXPECT_EQ(frame.StayOnTopAction().isChecked(), onTop) << c.stored;
            EXPECT_EQ(frame.windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop) << c.stored;
            EXPECT_TRUE(frame.isVisible()) << "changing the z-order must not hide the window";
            if (onTop == c.stayOnTop) {
                frame.StayOnTopAction().trigger();
            }
        }
        frame.close();
        const auto written = ParseWindowPos(rig.m_Store.GetString("WindowPos", "WindowPos").value_or(""));
        ASSERT_TRUE(written.has_value()) << c.stored;
        EXPECT_EQ(written->stayOnTop, !c.stayOnTop) << c.stored;
        if (c.savedAgain != nullptr) {
            EXPECT_EQ(written->placement, ParseWindowPos(c.savedAgain)->placement) << c.stored;
        }
    }
}

std::vector<serial::SerialPortInfo> Ports() {
    return {
        {"/dev/ttyACM0", "/dev/serial/by-id/usb-Veltmark_Board_0042-if00", "1234:5678", "Veltmark Board",
         true},
        {"/dev/ttyUSB0", "", "0403:6001", "FT232R USB UART", true},
        {"/dev/ttyS0", "", "", "", false},
    };
}

// The port list shows USB devices by their stable names; the baud index is the line in the rate list; a
// port or index the lists do not have is kept; a typed path counts when it differs from the chosen line.
TEST(PortSetupDialog, PrimesSelectsAndReturns) {
    const char* const byId = "/dev/serial/by-id/usb-Veltmark_Board_0042-if00";
    const struct {
        const char* primedPort;
        int primedBaud;
        int portLine, baudLine;     // selected after priming, -1 for none
        int choosePort, chooseBaud; // the operator's picks, -1 for none
        const char* typed;
        const char* port; // after OK
        int baud;
    } cases[] = {
        {byId, 9, 0, 9, -1, -1, nullptr, byId, 9},
        {"/dev/ttyACM0", 9, 0, 9, -1, -1, nullptr, byId, 9},
        {"/dev/ttyUSB0", 5, 1, 5, 2, 12, nullptr, "/dev/ttyS0", 12},
        {"/dev/ttyS0", 12, 2, 12, -1, 0, nullptr, "/dev/ttyS0", 0},
        {"/dev/ttyUSB9", 9, -1, 9, -1, -1, nullptr, "/dev/ttyUSB9", 9},
        {"/dev/ttyS0", 13, 2, -1, -1, -1, nullptr, "/dev/ttyS0", 13},
        {"/dev/ttyS0", -1, 2, -1, -1, -1, nullptr, "/dev/ttyS0", -1},
        {"/dev/ttyS0", 9, 2, 9, -1, -1, "/tmp/pty7", "/tmp/pty7", 9},
        {"/dev/ttyS0", 9, 2, 9, 1, -1, " /dev/ttyAMA0 ", "/dev/ttyAMA0", 9},
    };
    for (const auto& c : cases) {
        CPortSetupDlg dialog(Ports(), nullptr);
        dialog.m_PortName = c.primedPort;
        dialog.m_BaudIndex = c.primedBaud;
        dialog.OnInitDialog();
        EXPECT_EQ(dialog.PortList().currentIndex(), c.portLine) << c.primedPort;
        EXPECT_EQ(dialog.BaudList().currentIndex(), c.baudLine) << c.primedBaud;
        if (c.choosePort >= 0) {
            dialog.PortList().setCurrentIndex(c.choosePort);
            emit dialog.PortList().activated(c.choosePort);
        }
        if (c.chooseBaud >= 0) {
            dialog.BaudList().setCurrentIndex(c.chooseBaud);
            emit dialog.BaudList().activated(c.chooseBaud);
        }
        if (c.typed != nullptr) {
            dialog.PortList().setEditText(QString::fromLatin1(c.typed));
        }
        dialog.accept();
        EXPECT_EQ(dialog.m_PortName, c.port);
        EXPECT_EQ(dialog.m_BaudIndex, c.baud);
    }
}

TEST(PortSetupDialog, ListsTheRatesAndDescribesThePorts) {
    CPortSetupDlg dialog(Ports(), nullptr);
    dialog.OnInitDialog();
    ASSERT_EQ(dialog.BaudList().count(), 13);
    EXPECT_EQ(dialog.BaudList().itemText(9), "115200");
    dialog.PortList().setCurrentIndex(1);
    EXPECT_EQ(dialog.PortDetails().text(), "FT232R USB UART - USB 0403:6001 - /dev/ttyUSB0");
    for (const auto& [primed, detail] :
         {std::pair{"/no/such/tty", "/no/such/tty is not present now."},
          std::pair{"/dev/null", "/dev/null (not among the serial devices found)"}}) {
        CPortSetupDlg absent(Ports(), nullptr);
        absent.m_PortName = primed;
        absent.OnInitDialog();
        EXPECT_EQ(absent.PortDetails().text(), detail);
    }
}

// The frame's port setup: off line first, the settings change only on OK.
TEST(PortSetupFlow, OkTakesTheChoiceCancelKeepsTheSettingsBothLeaveTheLinkOffLine) {
    CAppRig rig;
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    const struct {
        bool ok;
        int chooseBaud, expectedBaud;
    } runs[] = {{false, 3, 10}, {true, 7, 7}};
    for (const auto& run : runs) {
        ASSERT_TRUE(rig.GoOnline());
        bool seen = false;
        QTimer::singleShot(300, [&] {
            CPortSetupDlg* dialog = rig.m_Frame->PortSetupDialog();
            ASSERT_NE(dialog, nullptr);
            seen = true;
            EXPECT_FALSE(rig.m_Doc.m_Port.IsOpen()) << "the port is closed while the dialog is open";
            dialog->BaudList().setCurrentIndex(run.chooseBaud);
            emit dialog->BaudList().activated(run.chooseBaud);
            run.ok ? dialog->accept() : dialog->reject();
        });
        rig.m_Frame->OnPortSetup();
        EXPECT_TRUE(seen);
        EXPECT_EQ(rig.m_Doc.ComBaudrateIndex(), run.expectedBaud);
        EXPECT_EQ(rig.m_Doc.ActivePortName(), rig.m_Device->PortPath());
        ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000)) << rig.StatusText().toStdString();
        EXPECT_FALSE(rig.View().OnlineButton().isChecked());
    }
}

// The program finds the pages beside itself in the build tree and under share/brenwick/help when installed,
// the build tree's first; with neither, no folder.
TEST(Help, FolderBesideTheProgramOrInstalledUnderShare) {
    CTempDir prefix;
    const QString bin = QString::fromStdString(prefix.Path("bin"));
    const QString installed = QString::fromStdString(prefix.Path("share/brenwick/help"));
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(FindHelpFolder(bin), QString());

    ASSERT_TRUE(QDir().mkpath(installed));
    EXPECT_EQ(FindHelpFolder(bin), QString()) << "a folder without index.html is no help";
    prefix.Write("share/brenwick/help/index.html", std::string("<html></html>"));
    EXPECT_EQ(FindHelpFolder(bin), installed);
    EXPECT_EQ(FindHelpFolder(bin + "/"), installed);

    ASSERT_TRUE(QDir().mkpath(bin + "/help"));
    prefix.Write("bin/help/index.html", std::string("<html></html>"));
    EXPECT_EQ(FindHelpFolder(bin), bin + "/help");
}

// The window icon comes with the program in every size the desktop entry's icon is installed in.
TEST(Icon, HoldsEverySizeFromTheProgramItself) {
    const QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
        EXPECT_EQ(icon.pixmap(QSize(size, size)).size(), QSize(size, size)) << size;
    }
    // Not an empty picture: the chip's body is opaque in the middle.
    const QImage middle = icon.pixmap(QSize(64, 64)).toImage();
    EXPECT_EQ(qAlpha(middle.pixel(32, 52)), 255);
}

// The File Open dialog with the program's filter lists both kinds of firmware file and nothing else.
TEST(FileOpenFilter, ListsHexAndBinFiles) {
    CTempDir dir;
    for (const char* name : {"a.hex", "b.bin", "c.txt", "d.HEX.orig"}) {
        dir.Write(name, std::string("x"));
    }
    QFileDialog dialog(nullptr, QStringLiteral("Open"), QString::fromStdString(dir.Root().string()),
                       QString::fromLatin1(brenwick::app::kFlashFileFilter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.show();
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    QStringList shown;
    PumpUntil(
        [&] {
            shown.clear();
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
                shown << view->model()->index(row, 0, view->rootIndex()).data().toString();
            }
            return shown.size() >= 2;
        },
        3000);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"a.hex", "b.bin"}));
}

// The window opens showing the whole form, a new initial update shrinks an enlarged window back to it, and
// the help shows its index page, or nothing when the pages are missing.
TEST(MainFrame, FitsTheFormAndShowsTheHelp) {
    CAppRig rig({}, false);
    rig.Open();
    Pump(50);
    auto& view = rig.View();
    EXPECT_EQ(view.viewport()->size(), view.DesignSize());
    rig.m_Frame->resize(1000, 700);
    Pump(50);
    EXPECT_GT(view.viewport()->width(), view.DesignSize().width());
    view.OnInitialUpdate();
    Pump(50);
    EXPECT_EQ(view.viewport()->size(), view.DesignSize());

    for (const bool present : {false, true}) {
        rig.m_Frame->SetHelpFolder(present ? BRENWICK_HELP_DIR
                                           : QString::fromStdString(rig.m_Dir.Path("nowhere")));
        rig.m_Frame->HelpAction().trigger();
        CHelpWindow* help = rig.m_Frame->HelpWindow();
        EXPECT_EQ(help != nullptr && help->isVisible() && help->Browser().documentTitle() == "Brenwick Help",
                  present);
    }
}

// File Open, a file that does not load, a recent file and File New, with the settings in a temporary folder.
TEST(AppInProcess, OpensFilesAndKeepsTheRecentFiles) {
    CTempDir dir;
    std::filesystem::create_directories(dir.Root() / "run");
    ::chmod(dir.Path("run").c_str(), 0700);
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.Path("run")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(dir.Path("config")));
    const auto image = firmware::Application(0x1000, firmware::kSam7Word, 0);
    const std::string first = firmware::Write(dir, "first.hex", image, true);
    const std::string second = firmware::Write(dir, "second.bin", image, false);
    const std::string broken = dir.Write("broken.hex", std::string(":zz\n"));
    AppOptions options;
    options.file = first;
    CBrenwickApp app(options);
    ASSERT_TRUE(app.InitInstance());
    auto& frame = *app.MainFrame();
    EXPECT_EQ(frame.windowTitle(), "first.hex - Brenwick");
    EXPECT_TRUE(app.OpenDocument(QString::fromStdString(second)));
    ASSERT_EQ(frame.RecentActions().size(), 2);
    EXPECT_TRUE(frame.RecentActions().front()->text().endsWith(QString::fromStdString(second)));
    // A file that does not load leaves the document without one and the recent files without it.
    EXPECT_FALSE(app.OpenDocument(QString::fromStdString(broken)));
    EXPECT_EQ(app.Document().m_FileLoaded, 0);
    EXPECT_EQ(app.RecentFiles().Files().size(), 2);
    EXPECT_EQ(g_ProjectFilePath, second) << "the project path keeps naming the last good file";
    frame.RecentActions().back()->trigger();
    EXPECT_EQ(app.Document().m_FileLoaded, 1);
    EXPECT_EQ(g_ProjectFilePath, first);
    frame.FileNewAction().trigger(); // clears the loaded flag and reloads nothing
    EXPECT_EQ(app.Document().m_FileLoaded, 0);
    EXPECT_EQ(frame.windowTitle(), "Untitled - Brenwick");
    frame.close();
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

} // namespace
