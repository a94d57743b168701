// The main window: the stored placement and Stay On Top, the port setup flow and its dialog, and the help.
#include "AppRig.h"
#include "app/AppIcon.h"
#include "app/CBrenwickApp.h"
#include "app/CPortSetupDlg.h"
#include "app/FramePlacement.h"
#include "app/HelpWindow.h"
#include "app/WindowPlacement.h"
#include "support/CaseName.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

using namespace brenwick::app;

using namespace brenwick::serial;

using namespace brenwick;

namespace {

using brenwick::app::CPortSetupDlg;

struct RestoreCase {
    const char* name;
    const char* stored;
    bool restored;
    QRect geometry; // position and size when restored
    bool stayOnTop;
    bool maximized;
    const char* savedAgain; // what the close writes back, when it can be known in advance
};

class StoredPlacement : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(StoredPlacement, IsRestoredAndWrittenBack) {
    const RestoreCase& c = GetParam();
    CAppRig rig({}, false);
    rig.m_Store.PutString("WindowPos", "WindowPos", c.stored);
    rig.Open();
    Pump(50);
    auto& frame = *rig.m_Frame;
    EXPECT_EQ(frame.HasSavedPlacement(), c.restored);
    EXPECT_EQ(frame.StayOnTop(), c.stayOnTop);
    EXPECT_EQ(frame.StayOnTopAction().isChecked(), c.stayOnTop);
    EXPECT_EQ(frame.windowFlags().testFlag(Qt::WindowStaysOnTopHint), c.stayOnTop);
    EXPECT_EQ(frame.isMaximized(), c.maximized);
    if (c.geometry.isValid()) {
        EXPECT_EQ(QRect(frame.pos(), frame.size()), c.geometry);
    }
    frame.close();
    const auto written = rig.m_Store.GetString("WindowPos", "WindowPos");
    ASSERT_TRUE(written.has_value());
    if (c.savedAgain != nullptr) {
        EXPECT_EQ(*written, c.savedAgain);
    }
    const auto parsed = brenwick::app::ParseWindowPos(*written);
    ASSERT_TRUE(parsed.has_value()) << *written;
    EXPECT_EQ(parsed->stayOnTop, c.stayOnTop);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredPlacement,
    ::testing::Values(
        RestoreCase{"NormalStayOnTop",
                    "32768:1:0:0:0:0:100:100:420:300",
                    true,
                    {100, 100, 320, 200},
                    true,
                    false,
                    "32768:1:0:0:0:0:100:100:420:300"},
        RestoreCase{"HexFlagsMaximised",
                    "0x8002:3:0:0:0:0:0:0:400:300",
                    true,
                    {},
                    true,
                    true,
                    "32770:3:0:0:0:0:0:0:400:300"},
        RestoreCase{"Octal",
                    "00:01:0:0:0:0:0144:0144:0644:0454",
                    true,
                    {100, 100, 320, 200},
                    false,
                    false,
                    "0:1:0:0:0:0:100:100:420:300"},
        RestoreCase{
            "NineFieldsRestoreNothing", "32768:1:0:0:0:0:10:10:300", false, {}, false, false, nullptr},
        RestoreCase{"Garbage", "left of the door", false, {}, false, false, nullptr},
        RestoreCase{
            "OffEveryScreenPulledBack", "0:1:0:0:0:0:9000:9000:9320:9200", true, {}, false, false, nullptr}),
    CaseName<RestoreCase>);

TEST(StoredPlacement, AWindowOffEveryScreenComesBackOntoOne) {
    CAppRig rig({}, false);
    rig.m_Store.PutString("WindowPos", "WindowPos", "0:1:0:0:0:0:9000:-7000:9320:-6800");
    rig.Open();
    Pump(50);
    const QRect placed(rig.m_Frame->pos(), rig.m_Frame->size());
    const QRect screen = brenwick::app::ScreenAreas().front();
    EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y();
    EXPECT_EQ(placed.size(), QSize(320, 200));
}

TEST(StayOnTop, TogglesTheHintAndTheCheckMarkAndIsWrittenAtClose) {
    CAppRig rig({}, false);
    rig.Open();
    auto& frame = *rig.m_Frame;
    ASSERT_FALSE(frame.StayOnTop());
    const struct { bool expected; } steps[] = {{true}, {false}, {true}};
    for (const auto& step : steps) {
        frame.StayOnTopAction().trigger();
        EXPECT_EQ(frame.StayOnTop(), step.expected);
        EXPECT_EQ(frame.StayOnTopAction().isChecked(), step.expected);
        EXPECT_EQ(frame.windowFlags().testFlag(Qt::WindowStaysOnTopHint), step.expected);
        EXPECT_TRUE(frame.isVisible()) << "changing the z-order must not hide the window";
    }
    frame.close();
    const auto parsed = brenwick::app::ParseWindowPos(*rig.m_Store.GetString("WindowPos", "WindowPos"));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(parsed->stayOnTop);
}

// The port setup dialog with a fixed list of devices.
std::vector<SerialPortInfo> Ports() {
    return {
        {"/dev/ttyACM0", "/dev/serial/by-id/usb-Veltmark_Board_0042-if00", "1234:5678", "Veltmark Board",
         true},
        {"/dev/ttyUSB0", "", "0403:6001", "FT232R USB UART", true},
        {"/dev/ttyS0", "", "", "", false},
    };
}

struct DialogCase {
    const char* name;
    const char* primedPort;
    int primedBaud;
    int portLine;      // selected line after priming, -1 for none
    int baudLine;      // likewise
    int choosePort;    // line the operator picks, -1 for none
    int chooseBaud;    // likewise
    const char* typed; // text typed into the port box, or nullptr
    const char* port;  // the port after OK
    int baud;          // the baud index after OK
};

class PortSetupDialog : public ::testing::TestWithParam<DialogCase> {};

TEST_P(PortSetupDialog, PrimesSelectsAndReturns) {
    const DialogCase& c = GetParam();
    CPortSetupDlg dialog(Ports(), nullptr);
    dialog.m_PortName = c.primedPort;
    dialog.m_BaudIndex = c.primedBaud;
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.windowTitle(), "Serial COM Port Selection");
    EXPECT_EQ(dialog.PortList().currentIndex(), c.portLine);
    EXPECT_EQ(dialog.BaudList().currentIndex(), c.baudLine);
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
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_PortName, c.port);
    EXPECT_EQ(dialog.m_BaudIndex, c.baud);
}

const char* const kById = "/dev/serial/by-id/usb-Veltmark_Board_0042-if00";

INSTANTIATE_TEST_SUITE_P(
    Cases, PortSetupDialog,
    ::testing::Values(
        DialogCase{"UntouchedByIdAnd115200", kById, 9, 0, 9, -1, -1, nullptr, kById, 9},
        DialogCase{"DevicePathMeansItsByIdName", "/dev/ttyACM0", 9, 0, 9, -1, -1, nullptr, kById, 9},
        DialogCase{"ChooseLastPortAnd1200", "/dev/ttyUSB0", 5, 1, 5, 2, 0, nullptr, "/dev/ttyS0", 0},
        DialogCase{"Choose256000", "/dev/ttyS0", 0, 2, 0, -1, 12, nullptr, "/dev/ttyS0", 12},
        DialogCase{"AbsentPortIsKept", "/dev/ttyUSB9", 9, -1, 9, -1, -1, nullptr, "/dev/ttyUSB9", 9},
        DialogCase{"BaudIndexOutsideKept", "/dev/ttyS0", 40, 2, -1, -1, -1, nullptr, "/dev/ttyS0", 40},
        DialogCase{"NegativeBaudIndexKept", "/dev/ttyS0", -1, 2, -1, -1, -1, nullptr, "/dev/ttyS0", -1},
        DialogCase{"TypedPathIsTaken", "/dev/ttyS0", 9, 2, 9, -1, -1, "/tmp/pty7", "/tmp/pty7", 9},
        DialogCase{"TypedOverChosen", "/dev/ttyS0", 9, 2, 9, 1, -1, " /dev/ttyAMA0 ", "/dev/ttyAMA0", 9}),
    CaseName<DialogCase>);

TEST(PortSetupDialogLists, BaudListHasThirteenRatesWithoutZero) {
    CPortSetupDlg dialog(Ports(), nullptr);
    dialog.OnInitDialog();
    ASSERT_EQ(dialog.BaudList().count(), 13);
    const int rates[] = {1200,  2400,  4800,   9600,   14400,  19200, 38400,
                         56000, 57600, 115200, 128000, 230400, 256000};
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(dialog.BaudList().itemText(k), QString::number(rates[k]));
    }
    ASSERT_EQ(dialog.PortList().count(), 3);
    for (const auto& [primed, detail] :
         {std::pair{"/no/such/tty", "/no/such/tty is not present now."},
          std::pair{"/dev/null", "/dev/null (not among the serial devices found)"}}) {
        CPortSetupDlg absent(Ports(), nullptr);
        absent.m_PortName = primed;
        absent.OnInitDialog();
        EXPECT_EQ(absent.PortDetails().text(), detail);
        EXPECT_EQ(absent.PortList().currentText(), primed);
    }
    EXPECT_EQ(dialog.PortList().itemText(0), kById); // USB first, by its stable name
    EXPECT_TRUE(dialog.PortList().itemData(0, Qt::ToolTipRole).toString().contains("Veltmark Board"));
    dialog.PortList().setCurrentIndex(1);
    EXPECT_TRUE(dialog.PortDetails().text().contains("FT232R USB UART"));
    EXPECT_TRUE(dialog.PortDetails().text().contains("/dev/ttyUSB0"));
}

// The frame's port setup: off line first, the settings change only on OK.
TEST(PortSetupFlow, OkTakesTheChoiceCancelKeepsTheSettingsBothLeaveTheLinkOffLine) {
    CAppRig rig;
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    const std::string port = rig.m_Device->PortPath();
    const struct {
        bool ok;
        int chooseBaud;
        int expectedBaud;
    } runs[] = {{false, 3, 10}, {true, 7, 7}};
    for (const auto& run : runs) {
        rig.View().OnlineButton().click();
        ASSERT_TRUE(rig.WaitForStatus("Connected", 6000));
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
        EXPECT_EQ(rig.m_Doc.ActivePortName(), port);
        ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000)) << rig.StatusText().toStdString();
        EXPECT_FALSE(rig.View().OnlineButton().isChecked());
    }
}

TEST(Help, ShowsTheIndexPageOrNothingWhenThePagesAreMissing) {
    CAppRig rig({}, false);
    rig.Open();
    auto& frame = *rig.m_Frame;
    frame.SetHelpFolder(QString::fromStdString(rig.m_Dir.Path("nowhere")));
    frame.HelpAction().trigger();
    EXPECT_TRUE(frame.HelpWindow() == nullptr || !frame.HelpWindow()->isVisible());

    frame.SetHelpFolder(QStringLiteral(BRENWICK_HELP_DIR));
    frame.HelpAction().trigger();
    ASSERT_NE(frame.HelpWindow(), nullptr);
    EXPECT_TRUE(frame.HelpWindow()->isVisible());
    EXPECT_EQ(frame.HelpWindow()->parentWidget(), &frame);
    EXPECT_TRUE(frame.HelpWindow()->Browser().source().toLocalFile().endsWith("/index.html"));
    EXPECT_EQ(frame.HelpWindow()->Browser().documentTitle(), "Brenwick Help");
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

// Every page the index links to is there, and every status text of the panel is explained.
TEST(Help, PagesLinkUpAndExplainEveryStatus) {
    const QDir folder(QStringLiteral(BRENWICK_HELP_DIR));
    QString all;
    const QRegularExpression link(QStringLiteral("href=\"([^\"#:]+)\""));
    for (const QString& name : folder.entryList({QStringLiteral("*.html")})) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QString text = QString::fromUtf8(file.readAll());
        all += text;
        for (auto it = link.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(folder.exists(target))
                << name.toStdString() << " links to missing " << target.toStdString();
        }
    }
    for (const char* needed :
         {"Connected", "File Not Loaded", "COM Port Failed To Open", "Not Connected", "Off Line",
          "Programming Error", "dialout", "ModemManager", "/dev/ttyACM", "Make Bin"}) {
        EXPECT_TRUE(all.contains(QString::fromLatin1(needed))) << needed;
    }
}

} // namespace

namespace {

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

} // namespace

namespace {

// The window opens showing the whole form, and a new initial update shrinks an enlarged window back to it.
TEST(InitialUpdate, FitsTheWindowToTheForm) {
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
    EXPECT_TRUE(view.IsTimerRunning());
}

} // namespace
