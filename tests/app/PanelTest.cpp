// The operator panel over the real document and a simulated device on a pty: every state the panel shows,
// reached through the buttons and the port's real notification path.
#include "AppRig.h"
#include "panel/Colors.h"

#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

using namespace brenwick;
using namespace brenwick::panel;

namespace {

TEST(Panel, OnlineStartAndDisconnect) {
    DeviceSimOptions options;
    options.name = "Test Board";
    options.serial = "SN4711";
    options.flashRev = 125;
    options.bootRev = 100;
    options.baud = 115200; // a run lasts long enough for the panel to show it in steps
    CAppRig rig(options);
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    auto& view = rig.View();
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 2000)); // the first tick
    ASSERT_TRUE(rig.GoOnline()) << rig.StatusText().toStdString();
    const QString identity = "Test Board  (Flash Rev  1.25  Boot Rev     1)";
    EXPECT_EQ(view.IdentityLine().text(), identity);
    EXPECT_EQ(view.GeometryLine().text(), "SN=SN4711 Size = 262144 Page = 256 BootLen = 16384");
    EXPECT_EQ(view.Status().GetLampColor(), kLampGreen);
    EXPECT_TRUE(view.StartButton().isEnabled());
    EXPECT_TRUE(view.OnlineButton().isChecked());

    view.StartButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Programming", 2000));
    EXPECT_EQ(view.Status().GetLampColor(), kLampYellow);
    EXPECT_FALSE(view.StartButton().isEnabled());
    std::vector<uint32_t> seen;
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (rig.StatusText() == "Programming" &&
                (seen.empty() || seen.back() != view.Status().GetPos())) {
                seen.push_back(view.Status().GetPos());
            }
            return rig.StatusText() == "Connected";
        },
        20000))
        << rig.StatusText().toStdString();
    ASSERT_GE(seen.size(), 3u) << "the bar should move in steps";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](uint32_t p) { return p > 0 && p < 100; }));
    EXPECT_EQ(view.Status().GetLampColor(), kLampGreen);
    EXPECT_EQ(view.Status().GetPos(), 0u);
    EXPECT_EQ(view.IdentityLine().text(), identity);
    EXPECT_EQ(rig.m_Device->SessionsEnded(), 1);
    EXPECT_EQ(rig.m_Device->Flash(), rig.ExpectedFlash());

    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000));
    EXPECT_TRUE(view.IdentityLine().text().isEmpty());
    EXPECT_TRUE(view.GeometryLine().text().isEmpty());
    EXPECT_FALSE(view.OnlineButton().isChecked());
    EXPECT_EQ(view.Status().GetLampColor(), kLampGrey);
    EXPECT_FALSE(view.StartButton().isEnabled());
}

// Online without a file, to a silent device and to a missing port; the click's mark stays until Off Line.
TEST(Panel, OnlineThatDoesNotConnect) {
    const struct {
        bool file, silent, port;
        const char* shown;
        bool startEnabled;
        const char* then; // the state that follows by itself
    } cases[] = {
        {false, false, true, "File Not Loaded", true, nullptr},
        {true, true, true, "Not Connected", false, nullptr},
        {true, false, false, "COM Port Failed To Open", false, "Off Line"},
    };
    for (const auto& c : cases) {
        DeviceSimOptions options;
        options.silent = c.silent;
        CAppRig rig(options, c.port);
        if (!c.port) {
            rig.m_Store.PutString("Settings\\Strings", "m_ActivePortName", rig.m_Dir.Path("no-such-tty"));
        }
        if (c.file) {
            ASSERT_TRUE(rig.LoadFirmware());
        }
        rig.Open();
        auto& view = rig.View();
        view.OnlineButton().click();
        ASSERT_TRUE(rig.WaitForStatus(c.shown)) << c.shown << ": " << rig.StatusText().toStdString();
        EXPECT_EQ(view.Status().GetLampColor(), kLampRed) << c.shown;
        EXPECT_EQ(view.StartButton().isEnabled(), c.startEnabled) << c.shown;
        EXPECT_TRUE(view.OnlineButton().isChecked()) << c.shown;
        if (c.startEnabled) { // Start without a file does nothing
            view.StartButton().click();
            Pump(800);
            EXPECT_EQ(rig.StatusText(), c.shown);
            EXPECT_EQ(rig.m_Device->PagesReceived(), 0);
        }
        if (c.then != nullptr) {
            ASSERT_TRUE(rig.WaitForStatus(c.then, 3000)) << rig.StatusText().toStdString();
            EXPECT_FALSE(view.OnlineButton().isChecked());
            EXPECT_EQ(view.Status().GetLampColor(), kLampGrey);
        }
    }
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
        qint64 closeMs = -1;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            QMessageBox* box = rig.View().OpenMessageBox();
            if (box == nullptr || !box->isVisible() || !text.isEmpty()) {
                return;
            }
            text = box->text();
            onGuiThread = box->thread() == qApp->thread();
            QElapsedTimer clock;
            clock.start();
            exitWhileOpen ? (void)rig.m_Frame->close() : box->accept();
            closeMs = clock.elapsed();
        });
        probe.start(20);
        rig.View().StartButton().click();
        ASSERT_TRUE(PumpUntil([&] { return !text.isEmpty(); }, 5000));
        probe.stop();
        EXPECT_EQ(text, "Invalid .hex file for this Product");
        EXPECT_TRUE(onGuiThread);
        if (exitWhileOpen) {
            EXPECT_LT(closeMs, 4000) << "the close waited on the message box";
            EXPECT_EQ(rig.m_Doc.m_WorkerRunning, 0);
            EXPECT_FALSE(rig.m_Doc.m_Port.IsOpen());
        } else {
            ASSERT_TRUE(rig.WaitForStatus("Programming Error", 3000)) << rig.StatusText().toStdString();
            EXPECT_EQ(rig.View().Status().GetLampColor(), kLampYellow);
        }
        EXPECT_EQ(rig.m_Device->PagesReceived(), 0);
        EXPECT_EQ(rig.m_Device->SessionsEnded(), 0);
    }
}

TEST(Panel, ClosingDuringProgrammingStopsTheRunAndSavesTheSettings) {
    DeviceSimOptions options;
    options.baud = 115200;
    CAppRig rig(options);
    ASSERT_TRUE(rig.LoadFirmware(0x8000));
    rig.Open();
    ASSERT_TRUE(rig.GoOnline());
    rig.View().StartButton().click();
    ASSERT_TRUE(PumpUntil([&] { return rig.View().Status().GetPos() > 5; }, 8000));
    QElapsedTimer clock;
    clock.start();
    rig.m_Frame->close();
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_FALSE(rig.View().IsTimerRunning());
    EXPECT_EQ(rig.m_Doc.m_WorkerRunning, 0);
    EXPECT_FALSE(rig.m_Doc.m_Port.IsOpen());
    EXPECT_EQ(rig.m_Store.GetString("Settings\\Strings", "m_ActivePortName"), rig.m_Device->PortPath());
    EXPECT_EQ(rig.m_Store.GetString("Settings\\Ints", "m_ComBaudrateIndex"), "10");
    EXPECT_EQ(rig.m_Store.GetString("FilePaths", "g_ProjectFilePath"), rig.m_FirmwarePath);
    EXPECT_TRUE(rig.m_Store.GetString("WindowPos", "WindowPos").has_value());
}

TEST(Panel, UnplugLeavesConnectedAndReplugConnectsAgain) {
    CAppRig rig({}, false);
    DeviceSimOptions options;
    options.linkPath = rig.m_Dir.Path("board");
    auto first = std::make_unique<CSimulatedDevice>(options);
    std::string error;
    ASSERT_TRUE(first->Start(&error)) << error;
    rig.m_Store.PutString("Settings\\Strings", "m_ActivePortName", options.linkPath);
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    ASSERT_TRUE(rig.GoOnline());

    first.reset(); // the board goes away
    ASSERT_TRUE(rig.WaitForStatus("Not Connected")) << rig.StatusText().toStdString();

    CSimulatedDevice second(options); // back, under the same name
    ASSERT_TRUE(second.Start(&error)) << error;
    if (rig.View().OnlineButton().isChecked()) {
        rig.View().OnlineButton().click(); // off line first: the old port is dead
        ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000)) << rig.StatusText().toStdString();
    }
    ASSERT_TRUE(rig.GoOnline()) << rig.StatusText().toStdString();
    EXPECT_GT(second.ReceivedCount(), 0u);
    rig.m_Frame.reset(); // before `second` goes
}

} // namespace
