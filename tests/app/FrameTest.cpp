// The main window in this process: the stored placement and Stay On Top, the port setup dialog, the help and
// the icon, the fit to the form.
#include "AppRig.h"
#include "app/AppIcon.h"
#include "app/CPortSetupDlg.h"
#include "app/HelpWindow.h"
#include "panel/WindowPlacement.h"

#include <QDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

using namespace brenwick;
using namespace brenwick::app;

namespace {

// Stay On Top comes from the stored flags and is toggled from the menu without hiding the window; the close
// writes the toggled state back. (Where the window goes, the fields, and a text that cannot be read are the
// program's runs and the parser's tests.)
TEST(StoredPlacement, StayOnTopIsRestoredToggledAndWrittenBack) {
    CAppRig rig({}, false);
    rig.m_Store.PutString("WindowPos", "WindowPos", "32768:1:0:0:0:0:100:100:420:300");
    rig.Open();
    Pump(50);
    auto& frame = *rig.m_Frame;
    for (const bool onTop : {true, false}) {
        EXPECT_EQ(frame.StayOnTopAction().isChecked(), onTop);
        EXPECT_EQ(frame.windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
        EXPECT_TRUE(frame.isVisible()) << "changing the z-order must not hide the window";
        frame.StayOnTopAction().trigger();
    }
    frame.StayOnTopAction().trigger();
    frame.close();
    const auto written = panel::ParseWindowPos(rig.m_Store.GetString("WindowPos", "WindowPos").value_or(""));
    ASSERT_TRUE(written.has_value());
    EXPECT_FALSE(written->stayOnTop);
}

// The port list shows USB devices by their stable names and describes the primed port; the baud index is the
// line in the rate list; a port or index the lists do not have is kept; a typed path counts when it differs
// from the chosen line.
TEST(PortSetupDialog, PrimesSelectsAndReturns) {
    const char* const byId = "/dev/serial/by-id/usb-Veltmark_Board_0042-if00";
    const char* const board = "Veltmark Board - USB 1234:5678 - /dev/ttyACM0";
    const struct {
        const char* primedPort;
        int primedBaud;
        int portLine, baudLine; // selected after priming, -1 for none
        const char* details;
        int choosePort, chooseBaud; // the operator's picks, -1 for none
        const char* typed;
        const char* port; // after OK
        int baud;
    } cases[] = {
        {byId, 9, 0, 9, board, -1, -1, nullptr, byId, 9},
        {"/dev/ttyACM0", 9, 0, 9, board, -1, -1, nullptr, byId, 9},
        {"/dev/ttyUSB0", 5, 1, 5, "FT232R USB UART - USB 0403:6001 - /dev/ttyUSB0", 2, 12, nullptr,
         "/dev/ttyS0", 12},
        {"/dev/ttyS0", 12, 2, 12, "/dev/ttyS0", -1, 0, nullptr, "/dev/ttyS0", 0},
        {"/dev/ttyUSB9", 13, -1, -1, "/dev/ttyUSB9 is not present now.", -1, -1, nullptr, "/dev/ttyUSB9", 13},
        {"/dev/null", -1, -1, -1, "/dev/null is not a serial device.", -1, -1, nullptr, "/dev/null", -1},
        {"/dev/ttyS0", 9, 2, 9, "/dev/ttyS0", 1, -1, " /dev/ttyAMA7 ", "/dev/ttyAMA7", 9},
        {"/dev/ttyS0", 9, 2, 9, "/dev/ttyS0", -1, -1, "/dev/tty", "/dev/tty", 9},
        {"/dev/ttyS0", 9, 2, 9, "/dev/ttyS0", -1, -1, "/dev/ttyUSB0", "/dev/ttyUSB0", 9},
    };
    // What the details line says once the text was typed: it follows the box, not the last line chosen.
    const std::map<std::string, const char*> typedDetails = {
        {" /dev/ttyAMA7 ", "/dev/ttyAMA7 is not present now."},
        {"/dev/tty", "/dev/tty (a terminal device, not among the serial devices found)"},
        {"/dev/ttyUSB0", "FT232R USB UART - USB 0403:6001 - /dev/ttyUSB0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.primedPort << " " << c.primedBaud);
        CPortSetupDlg dialog({{"/dev/ttyACM0", byId, "1234:5678", "Veltmark Board", true},
                              {"/dev/ttyUSB0", "", "0403:6001", "FT232R USB UART", true},
                              {"/dev/ttyS0", "", "", "", false}},
                             nullptr);
        dialog.m_PortName = c.primedPort;
        dialog.m_BaudIndex = c.primedBaud;
        dialog.OnInitDialog();
        EXPECT_EQ(dialog.PortList().currentIndex(), c.portLine);
        EXPECT_EQ(dialog.BaudList().currentIndex(), c.baudLine);
        EXPECT_EQ(dialog.PortDetails().text(), c.details);
        EXPECT_EQ(dialog.BaudList().itemText(9), "115200");
        for (const auto& [list, pick] :
             {std::pair{&dialog.PortList(), c.choosePort}, {&dialog.BaudList(), c.chooseBaud}}) {
            if (pick >= 0) {
                list->setCurrentIndex(pick);
                emit list->activated(pick);
            }
        }
        if (c.typed != nullptr) {
            dialog.PortList().setEditText(QString::fromLatin1(c.typed));
            EXPECT_EQ(dialog.PortDetails().text(), typedDetails.at(c.typed));
        }
        dialog.accept();
        EXPECT_EQ(dialog.m_PortName, c.port);
        EXPECT_EQ(dialog.m_BaudIndex, c.baud);
    }
}

// The help pages beside the program in the build tree, else under share/brenwick/help when installed; a
// folder without index.html is no help. The window icon comes in every size the desktop entry installs.
TEST(Help, FolderBesideTheProgramOrInstalledUnderShareAndTheIcon) {
    CTempDir prefix;
    const QString bin = QString::fromStdString(prefix.Path("bin"));
    ASSERT_TRUE(QDir().mkpath(bin + "/help") && QDir().mkpath(bin + "/../share/brenwick/help"));
    EXPECT_EQ(FindHelpFolder(bin), QString());
    prefix.Write("share/brenwick/help/index.html", std::string("<html></html>"));
    EXPECT_EQ(FindHelpFolder(bin + "/"), QString::fromStdString(prefix.Path("share/brenwick/help")));
    prefix.Write("bin/help/index.html", std::string("<html></html>"));
    EXPECT_EQ(FindHelpFolder(bin), bin + "/help");

    const QIcon icon = AppIcon();
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    }
    EXPECT_EQ(qAlpha(icon.pixmap(QSize(64, 64)).toImage().pixel(32, 52)), 255) << "the chip's body is opaque";
}

// The window opens showing the whole form, a new initial update shrinks an enlarged window back to it, and
// the help shows its index page, or nothing when the pages are missing.
TEST(MainFrame, FitsTheFormAndShowsTheHelp) {
    DeviceSimOptions board;
    board.name = "Veltmark Board XT-20";
    board.serial = "BOARD-000001";
    CAppRig rig(board);
    rig.Open();
    Pump(50);
    auto& view = rig.View();
    EXPECT_EQ(view.viewport()->height(), view.DesignSize().height());
    // The first window shows both lines of a typical board in full.
    ASSERT_TRUE(rig.GoOnline());
    for (const widgets::CTextLine* line : {&view.IdentityLine(), &view.GeometryLine()}) {
        const QFontMetrics metrics = line->fontMetrics();
        EXPECT_LE(metrics.horizontalAdvance(line->text()) + metrics.horizontalAdvance(QLatin1Char('x')),
                  line->contentsRect().width())
            << line->text().toStdString();
    }
    // The wide lines share their edges, the buttons their row, and Start sits in the middle.
    for (const QWidget* line :
         std::initializer_list<const QWidget*>{&view.GeometryLine(), &view.Status(), &view.Clock()}) {
        EXPECT_EQ(line->x(), view.IdentityLine().x());
        EXPECT_EQ(line->width(), view.IdentityLine().width());
    }
    for (const QWidget* button :
         std::initializer_list<const QWidget*>{&view.StartButton(), &view.MakeBinButton()}) {
        EXPECT_EQ(button->geometry().top(), view.OnlineButton().geometry().top());
        EXPECT_EQ(button->height(), view.OnlineButton().height());
    }
    EXPECT_LE(std::abs(view.StartButton().x() * 2 + view.StartButton().width() - view.Form()->width()), 1);
    rig.m_Frame->resize(1000, 700);
    Pump(50);
    EXPECT_GT(view.viewport()->width(), view.DesignSize().width());
    view.OnInitialUpdate();
    Pump(50);
    EXPECT_EQ(view.viewport()->size(), view.DesignSize());

    for (const bool present : {false, true}) {
        rig.m_Frame->SetHelpFolder(present ? BRENWICK_HELP_DIR
                                           : QString::fromStdString(rig.m_Dir.Path("none")));
        rig.m_Frame->HelpAction().trigger();
        CHelpWindow* help = rig.m_Frame->HelpWindow();
        EXPECT_EQ(help != nullptr && help->isVisible() && help->Browser().documentTitle() == "Brenwick Help",
                  present);
    }
}

} // namespace
