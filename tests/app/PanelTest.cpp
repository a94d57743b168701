// The operator panel over the real document and a simulated device on a pty: every state the panel shows,
// reached through the buttons and the port's real notification path.
#include "AppRig.h"
#include "app/PanelState.h"
#include "panel/Colors.h"

#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

using namespace brenwick::app;

using namespace brenwick;

namespace {

using brenwick::panel::kLampGreen;
using brenwick::panel::kLampGrey;
using brenwick::panel::kLampRed;
using brenwick::panel::kLampYellow;

constexpr int kConnectMs = 6000;

DeviceSimOptions PacedDevice() {
    DeviceSimOptions options;
    options.baud = 115200; // a run lasts long enough for the panel to show it in steps
    return options;
}

TEST(Panel, FirstTickPaintsOffLine) {
    CAppRig rig;
    rig.Open();
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 2000));
    auto& view = rig.View();
    EXPECT_EQ(view.Status().GetLampColor(), kLampGrey);
    EXPECT_FALSE(view.StartButton().isEnabled());
    EXPECT_FALSE(view.OnlineButton().isChecked());
    EXPECT_TRUE(view.IdentityLine().text().isEmpty());
    EXPECT_TRUE(view.IsTimerRunning());
}

TEST(Panel, OnlineShowsTheDeviceAndAGreenLamp) {
    DeviceSimOptions options;
    options.name = "Test Board";
    options.serial = "SN4711";
    options.flashRev = 125;
    options.bootRev = 100;
    CAppRig rig(options);
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    rig.View().OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Connected", kConnectMs)) << rig.StatusText().toStdString();
    auto& view = rig.View();
    EXPECT_EQ(view.IdentityLine().text(), "Test Board  (Flash Rev  1.25  Boot Rev     1)");
    EXPECT_EQ(view.GeometryLine().text(), "SN=SN4711 Size = 262144 Page = 256 BootLen = 16384");
    EXPECT_EQ(view.Status().GetLampColor(), kLampGreen);
    EXPECT_TRUE(view.StartButton().isEnabled());
    EXPECT_TRUE(view.OnlineButton().isChecked());

    // Disconnect: Off Line, lines cleared, box cleared.
    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000));
    EXPECT_TRUE(view.IdentityLine().text().isEmpty());
    EXPECT_TRUE(view.GeometryLine().text().isEmpty());
    EXPECT_FALSE(view.OnlineButton().isChecked());
    EXPECT_EQ(view.Status().GetLampColor(), kLampGrey);
    EXPECT_FALSE(view.StartButton().isEnabled());
}

TEST(Panel, WithoutAFileStartIsEnabledButDoesNothing) {
    CAppRig rig;
    rig.Open();
    rig.View().OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("File Not Loaded", kConnectMs)) << rig.StatusText().toStdString();
    auto& view = rig.View();
    EXPECT_EQ(view.Status().GetLampColor(), kLampRed);
    EXPECT_TRUE(view.StartButton().isEnabled());
    view.StartButton().click();
    Pump(1200);
    EXPECT_EQ(rig.StatusText(), "File Not Loaded");
    EXPECT_EQ(rig.m_Device->SessionsEnded(), 0);
    EXPECT_EQ(rig.m_Device->PagesReceived(), 0);
}

TEST(Panel, StartProgramsTheDeviceWithRisingProgress) {
    CAppRig rig(PacedDevice());
    ASSERT_TRUE(rig.LoadFirmware(0x6000));
    rig.Open();
    auto& view = rig.View();
    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Connected", kConnectMs));
    view.StartButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Programming", 2000));
    EXPECT_EQ(view.Status().GetLampColor(), kLampYellow);
    EXPECT_FALSE(view.StartButton().isEnabled());

    std::vector<uint32_t> seen;
    const bool back = PumpUntil(
        [&] {
            if (rig.StatusText() == "Programming" &&
                (seen.empty() || seen.back() != view.Status().GetPos())) {
                seen.push_back(view.Status().GetPos());
            }
            return rig.StatusText() == "Connected";
        },
        20000);
    ASSERT_TRUE(back) << rig.StatusText().toStdString();
    ASSERT_GE(seen.size(), 3u) << "the bar should move in steps";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](uint32_t p) { return p > 0 && p < 100; }));
    EXPECT_EQ(view.Status().GetLampColor(), kLampGreen);
    EXPECT_EQ(view.Status().GetPos(), 0u);
    EXPECT_EQ(rig.m_Device->SessionsEnded(), 1);
    EXPECT_EQ(rig.m_Device->Flash(), rig.ExpectedFlash());
}

TEST(Panel, ASilentDeviceIsNotConnected) {
    DeviceSimOptions options;
    options.silent = true;
    CAppRig rig(options);
    rig.Open();
    rig.View().OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Not Connected", kConnectMs)) << rig.StatusText().toStdString();
    EXPECT_EQ(rig.View().Status().GetLampColor(), kLampRed);
    EXPECT_FALSE(rig.View().StartButton().isEnabled());
    EXPECT_TRUE(rig.View().OnlineButton().isChecked());
}

TEST(Panel, AMissingPortFailsThenGoesOffLine) {
    CAppRig rig({}, false);
    rig.m_Store.PutString("Settings\\Strings", "m_ActivePortName", rig.m_Dir.Path("no-such-tty"));
    rig.Open();
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 2000));
    auto& view = rig.View();
    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("COM Port Failed To Open", 3000)) << rig.StatusText().toStdString();
    EXPECT_EQ(view.Status().GetLampColor(), kLampRed);
    EXPECT_TRUE(view.OnlineButton().isChecked()) << "the click's mark stays until Off Line";
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000));
    EXPECT_FALSE(view.OnlineButton().isChecked());
    EXPECT_EQ(view.Status().GetLampColor(), kLampGrey);
}

// The worker asks the GUI thread to show the product message and waits; `act` runs on the GUI thread while
// the box is open and decides how it ends.
struct MismatchSeen {
    QString text;
    bool onGuiThread = false;
    int pagesWhileOpen = -1;
    int sessionsWhileOpen = -1;
};

MismatchSeen RunMismatch(CAppRig& rig, const std::function<void(QMessageBox&)>& act) {
    MismatchSeen seen;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        QMessageBox* box = rig.View().OpenMessageBox();
        if (box == nullptr || !box->isVisible() || !seen.text.isEmpty()) {
            return;
        }
        seen.text = box->text();
        seen.onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread() &&
                           box->thread() == QCoreApplication::instance()->thread();
        seen.pagesWhileOpen = rig.m_Device->PagesReceived();
        seen.sessionsWhileOpen = rig.m_Device->SessionsEnded();
        act(*box);
    });
    probe.start(20);
    rig.View().StartButton().click();
    PumpUntil([&] { return !seen.text.isEmpty(); }, 5000);
    probe.stop();
    return seen;
}

DeviceSimOptions OtherProduct() {
    DeviceSimOptions options;
    options.productId[0] = 0x11;
    options.productId[1] = 0x22;
    return options;
}

TEST(Panel, ProductMismatchShowsTheMessageOnTheGuiThread) {
    CAppRig rig(OtherProduct());
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    rig.View().OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Connected", kConnectMs));
    const MismatchSeen seen = RunMismatch(rig, [](QMessageBox& box) { box.accept(); });
    EXPECT_EQ(seen.text, "Invalid .hex file for this Product");
    EXPECT_TRUE(seen.onGuiThread);
    EXPECT_EQ(seen.pagesWhileOpen, 0);
    ASSERT_TRUE(rig.WaitForStatus("Programming Error", 3000)) << rig.StatusText().toStdString();
    EXPECT_EQ(rig.View().Status().GetLampColor(), kLampYellow);
    EXPECT_EQ(rig.m_Device->PagesReceived(), 0);
    EXPECT_EQ(rig.m_Device->SessionsEnded(), 0);
}

TEST(Panel, ClosingWhileTheProductMessageIsOpenDoesNotWaitForIt) {
    CAppRig rig(OtherProduct());
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    rig.View().OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Connected", kConnectMs));
    qint64 closeMs = -1;
    const MismatchSeen seen = RunMismatch(rig, [&](QMessageBox&) {
        QElapsedTimer clock;
        clock.start();
        rig.m_Frame->close(); // File > Exit while the worker waits on the box
        closeMs = clock.elapsed();
    });
    EXPECT_EQ(seen.text, "Invalid .hex file for this Product");
    ASSERT_GE(closeMs, 0);
    EXPECT_LT(closeMs, 4000) << "the close waited on the message box";
    EXPECT_EQ(rig.m_Doc.m_WorkerRunning, 0);
    EXPECT_FALSE(rig.m_Doc.m_Port.IsOpen());
    EXPECT_TRUE(PumpUntil(
        [&] { return rig.View().OpenMessageBox() == nullptr || !rig.View().OpenMessageBox()->isVisible(); },
        1000));
}

TEST(Panel, ClosingDuringProgrammingStopsTheRunAndSavesTheSettings) {
    CAppRig rig(PacedDevice());
    ASSERT_TRUE(rig.LoadFirmware(0x8000));
    rig.Open();
    rig.View().OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Connected", kConnectMs));
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
    const std::string link = rig.m_Dir.Path("board");
    DeviceSimOptions options;
    options.linkPath = link;
    auto first = std::make_unique<CSimulatedDevice>(options);
    std::string error;
    ASSERT_TRUE(first->Start(&error)) << error;
    rig.m_Store.PutString("Settings\\Strings", "m_ActivePortName", link);
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    auto& view = rig.View();
    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Connected", kConnectMs));

    first.reset(); // the board goes away
    ASSERT_TRUE(PumpUntil([&] { return rig.StatusText() != "Connected"; }, 5000)) << "still Connected";
    ASSERT_TRUE(rig.WaitForStatus("Not Connected", 5000)) << rig.StatusText().toStdString();

    CSimulatedDevice second(options); // back, under the same name
    ASSERT_TRUE(second.Start(&error)) << error;
    if (view.OnlineButton().isChecked()) {
        view.OnlineButton().click(); // off line first: the old port is dead
        ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000)) << rig.StatusText().toStdString();
    }
    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Connected", kConnectMs)) << rig.StatusText().toStdString();
    EXPECT_GT(second.ReceivedCount(), 0u);
    rig.m_Frame.reset(); // before `second` goes
}

} // namespace

namespace {

TEST(Panel, MakeBinWritesTheApplicationAreaToTheHomeFolder) {
    CAppRig rig({}, false);
    ASSERT_TRUE(rig.LoadFirmware(0x1000));
    rig.Open();
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(rig.m_Dir.Root().string()));
    rig.View().MakeBinButton().click();
    qputenv("HOME", savedHome);
    const auto written = ReadFileBytes(rig.m_Dir.Path("Firm_xxx.bin"));
    // From the application's first word up to and including the byte sum behind it.
    ASSERT_EQ(written.size(), 0x1000u + 4);
    EXPECT_TRUE(std::equal(written.begin() + 0x40, written.begin() + 0x1000, rig.m_App.begin() + 0x40));
}

TEST(Panel, AFileDroppedOnTheWindowIsOfferedForOpening) {
    CAppRig rig({}, false);
    rig.Open();
    QStringList dropped;
    QObject::connect(rig.m_Frame.get(), &brenwick::app::CMainFrame::FileDropped,
                     [&](const QString& path) { dropped << path; });
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("https://example.org/x.hex")), QUrl::fromLocalFile("/tmp/board.hex")});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Straight to the window: outside a real drag the application would route a drop elsewhere.
    static_cast<QObject*>(rig.m_Frame.get())->event(&drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(dropped, QStringList{"/tmp/board.hex"});
}

} // namespace
