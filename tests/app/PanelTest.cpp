// The operator panel over the real document and a simulated device on a pty: every state the panel shows,
// reached through the buttons and the port's real notification path.
#include "AppRig.h"
#include "app/CPortSetupDlg.h"
#include "widgets/Colors.h"

#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

using namespace brenwick;
using namespace brenwick::widgets;

namespace {

// On line with the device's lines; the port setup, off line and back; the close stops the worker and saves
// the window's placement (the program saves the rest, tested across its starts; a close during a run is the
// outcome tests').
TEST(Panel, OnlinePortSetupAndClose) {
    DeviceSimOptions options;
    options.name = "Test Board";
    options.serial = "SN4711";
    options.flashRev = 125;
    options.bootRev = 100;
    CAppRig rig(options);
    ASSERT_TRUE(rig.LoadFirmware(0x8000));
    rig.Open();
    auto& view = rig.View();
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 2000)); // the first tick
    rig.ExpectShows("Off Line", kLampGrey, false, false);
    ASSERT_TRUE(rig.GoOnline()) << rig.StatusText().toStdString();
    const QString identity = "Test Board  (Flash Rev  1.25  Boot Rev     1)";
    EXPECT_EQ(view.IdentityLine().text(), identity);
    EXPECT_EQ(view.GeometryLine().text(), "SN=SN4711 Size = 262144 Page = 256 BootLen = 16384");
    rig.ExpectShows("Connected", kLampGreen, true, true);

    // Port setup goes off line first, clearing the device lines; Cancel keeps the settings, OK takes them.
    for (const auto& [ok, baud] : {std::pair{false, 3}, {true, 7}}) {
        bool shown = false;
        QTimer::singleShot(300, [&, ok = ok, baud = baud] {
            app::CPortSetupDlg* dialog = rig.m_Frame->PortSetupDialog();
            ASSERT_NE(dialog, nullptr);
            shown = true;
            EXPECT_FALSE(rig.m_Doc.IsPortOpen()) << "the port is closed while the dialog is open";
            dialog->BaudList().setCurrentIndex(baud);
            emit dialog->BaudList().activated(baud);
            ok ? dialog->accept() : dialog->reject();
        });
        rig.m_Frame->OnPortSetup();
        EXPECT_TRUE(shown);
        EXPECT_EQ(rig.m_Doc.ComBaudrateIndex(), ok ? 7 : 10);
        ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000)) << rig.StatusText().toStdString();
        rig.ExpectShows("Off Line", kLampGrey, false, false);
        EXPECT_TRUE(view.IdentityLine().text().isEmpty());
        EXPECT_TRUE(view.GeometryLine().text().isEmpty());
        ASSERT_TRUE(rig.GoOnline()) << rig.StatusText().toStdString();
    }

    rig.m_Frame->close();
    EXPECT_FALSE(view.IsTimerRunning());
    EXPECT_FALSE(rig.m_Doc.IsWorkerRunning());
    EXPECT_FALSE(rig.m_Doc.IsPortOpen());
    EXPECT_TRUE(rig.m_Store.GetString("WindowPos", "WindowPos").has_value());
}

// Online without a file: the device answers, but the panel shows File Not Loaded and Start, though enabled,
// does nothing. (A missing port, a silent or unplugged board are the link's tests; their rows, the state
// table's.)
TEST(Panel, OnlineWithoutAFileThenOpeningOne) {
    CAppRig rig;
    rig.Open();
    ASSERT_TRUE(rig.GoOnline()) << rig.StatusText().toStdString();
    rig.ExpectShows("File Not Loaded", kLampRed, true, true);
    rig.View().StartButton().click();
    Pump(800);
    EXPECT_EQ(rig.StatusText(), "File Not Loaded");
    EXPECT_EQ(rig.Outcome(), "no firmware file is loaded: open one with File > Open");
    EXPECT_EQ(rig.m_Device->PagesReceived(), 0);
    // A file opened while on line is shown at the next tick, though the link state stays the same.
    ASSERT_TRUE(rig.LoadFirmware());
    ASSERT_TRUE(rig.WaitForStatus("Connected"));
    rig.ExpectShows("Connected", kLampGreen, true, true);
}

// The worker asks the GUI thread to show the product message and waits for it; answered, the run ends in
// Programming Error; File > Exit while it is open does not wait for it.
TEST(Panel, ProductMismatchAsksOnTheGuiThread) {
    for (const bool exitWhileOpen : {false, true}) {
        DeviceSimOptions options;
        options.productId[0] = 0x11;
        CAppRig rig(options);
        ASSERT_TRUE(rig.LoadFirmware());
        rig.Open();
        ASSERT_TRUE(rig.GoOnline());
        QString text;
        bool onGuiThread = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            QMessageBox* box = rig.View().OpenMessageBox();
            if (box != nullptr && box->isVisible() && text.isEmpty()) {
                text = box->text();
                onGuiThread = box->thread() == qApp->thread();
                exitWhileOpen ? (void)rig.m_Frame->close() : box->accept();
            }
        });
        probe.start(20);
        rig.View().StartButton().click();
        ASSERT_TRUE(PumpUntil([&] { return !text.isEmpty(); }, 5000));
        probe.stop();
        EXPECT_EQ(text, "Invalid .hex file for this Product");
        EXPECT_TRUE(onGuiThread);
        if (exitWhileOpen) {
            EXPECT_FALSE(rig.m_Doc.IsWorkerRunning());
            EXPECT_FALSE(rig.m_Doc.IsPortOpen());
        } else {
            ASSERT_TRUE(rig.WaitForStatus("Programming Error", 3000)) << rig.StatusText().toStdString();
            rig.ExpectShows("Programming Error", kLampYellow, true, true);
            EXPECT_EQ(rig.Outcome(),
                      "Invalid .hex file for this Product: the file is for product 5A FF A5 00, "
                      "the device is 11 FF A5 00");
        }
        EXPECT_EQ(rig.m_Device->PagesReceived(), 0);
        EXPECT_EQ(rig.m_Device->SessionsEnded(), 0);
    }
}

} // namespace
