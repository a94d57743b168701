// What the panel says after each way a run or a connect can end, and that it stays until the operator acts;
// a board left in an unfinished run is programmed again with Start; a run is never cut short without the
// operator's word. The real window and document over a simulated device on a pty.
#include "AppRig.h"
#include "widgets/Colors.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace brenwick;
using namespace brenwick::widgets;

namespace {

enum class Action { GoOnline, Program };

struct OutcomeCase {
    const char* name;
    void (*configure)(DeviceSimOptions&);
    Action action;
    bool portBusy;
    const char* text;
    COLORREF lamp;
    const char* detail; // a part of the outcome line; PORT stands for the device's port
    bool startEnabled;
};

// Each ending is told in words and stays past the link's next polls, until the operator's next action.
TEST(Outcome, EveryEndingIsToldAndStaysUntilTheNextAction) {
    const OutcomeCase cases[] = {
        {"programmed", [](DeviceSimOptions&) {}, Action::Program, false, "Programmed", kLampGreen,
         "24832 bytes in ", true},
        {"refused page", [](DeviceSimOptions& o) { o.nakPage = 5; }, Action::Program, false,
         "Programming Error", kLampYellow,
         "page 5 refused by the device (result 1): press Start to program it again", true},
        {"device hangs up", [](DeviceSimOptions& o) { o.hangUpPage = 3; }, Action::Program, false,
         "Programming Error", kLampYellow, "the device went away (the line was hung up) at page 3", false},
        {"silent device", [](DeviceSimOptions& o) { o.silent = true; }, Action::GoOnline, false,
         "Not Connected", kLampRed, "the device does not answer on PORT: check the cable", false},
        {"no flash geometry", [](DeviceSimOptions& o) { o.noGeometry = true; }, Action::GoOnline, false,
         "Not Connected", kLampRed, "the device answers but does not report its flash geometry on PORT",
         false},
        {"busy port", [](DeviceSimOptions&) {}, Action::GoOnline, true, "COM Port Failed To Open", kLampRed,
         "PORT: the port is in use by another program", false},
    };
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceSimOptions options;
        c.configure(options);
        CAppRig rig(options);
        ASSERT_TRUE(rig.LoadFirmware());
        rig.Open();
        int holder = -1;
        if (c.portBusy) {
            holder = ::open(rig.m_Device->PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        }
        auto& view = rig.View();
        if (c.action == Action::Program) {
            ASSERT_TRUE(rig.GoOnline());
            view.StartButton().click();
            ASSERT_TRUE(rig.WaitForStatus("Programming", 3000));
        } else {
            view.OnlineButton().click();
        }
        ASSERT_TRUE(rig.WaitForStatus(c.text, 20000)) << rig.StatusText().toStdString();
        Pump(1500); // three polls and more: the link has moved on by now
        QString detail = QString::fromLatin1(c.detail);
        detail.replace("PORT", QString::fromStdString(rig.m_Device->PortPath()));
        EXPECT_EQ(rig.StatusText(), c.text);
        EXPECT_EQ(view.Status().GetLampColor(), c.lamp);
        EXPECT_TRUE(rig.Outcome().contains(detail)) << rig.Outcome().toStdString();
        EXPECT_TRUE(view.Status().toolTip().endsWith(rig.Outcome())) << "the tooltip holds the reason";
        EXPECT_TRUE(view.Status().Description().endsWith(rig.Outcome()))
            << "a screen reader hears the reason";
        EXPECT_EQ(view.StartButton().isEnabled(), c.startEnabled);
        EXPECT_EQ(view.OnlineButton().isChecked(), rig.m_Doc.Snapshot().onLine)
            << "the box disagrees with the link";
        // The operator's next action ends it.
        if (holder >= 0) {
            ::close(holder);
        }
        view.OnlineButton().click();
        ASSERT_TRUE(PumpUntil([&] { return rig.StatusText() != c.text; }, 3000))
            << "it outlived the next action";
    }
}

// A run refused half way leaves the board in its run, also across going off and on line again; the panel
// names the board and lets Start program it, from the beginning, byte for byte.
TEST(Outcome, ABoardLeftInARunIsProgrammedAgainWithStart) {
    DeviceSimOptions options;
    options.nakPage = 5;
    CAppRig rig(options);
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    auto& view = rig.View();
    ASSERT_TRUE(rig.GoOnline());
    view.StartButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Programming Error", 20000)) << rig.StatusText().toStdString();
    ASSERT_TRUE(PumpUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::Programming; }, 3000))
        << "the board should report its unfinished run";

    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 3000));
    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Not Programmed", 3000)) << rig.StatusText().toStdString();
    rig.ExpectShows("Not Programmed", kLampYellow, true, true);
    EXPECT_EQ(rig.Outcome(), "the board is in an unfinished run: press Start to program it again");
    EXPECT_EQ(view.GeometryLine().text(), "SN=SIM000001 Size = 262144 Page = 256 BootLen = 16384");

    rig.m_Device->SetNakPage(0); // the cause was found
    view.StartButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Programmed", 20000)) << rig.StatusText().toStdString();
    EXPECT_EQ(rig.m_Device->Flash(), rig.ExpectedFlash());
    EXPECT_TRUE(view.StartButton().isEnabled()) << "the next board, or the same again";
}

// Make Bin just before Start: the export must not change the geometry the run is stamped and sent with.
TEST(Outcome, MakeBinRightBeforeStartLeavesTheRunAlone) {
    CTempDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home.Root().string()));
    CAppRig rig;
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    ASSERT_TRUE(rig.GoOnline());
    rig.View().MakeBinButton().click();
    rig.View().StartButton().click();
    EXPECT_TRUE(rig.WaitForStatus("Programmed", 20000)) << rig.StatusText().toStdString();
    EXPECT_EQ(rig.m_Device->Flash(), rig.ExpectedFlash());
    qputenv("HOME", savedHome);
}

// The port setup, the window's close and unticking Online ask before they cut a run short. No lets the run go
// on; yes stops it between two messages (no End reaches the board), tells that the board is not programmed,
// and a later Start programs it.
TEST(Outcome, InterruptingARunAsksFirstAndAStoppedRunCanBeRedone) {
    DeviceSimOptions options;
    options.baud = 115200; // a run long enough to be interrupted
    CAppRig rig(options);
    ASSERT_TRUE(rig.LoadFirmware(0x8000));
    rig.Open();
    auto& view = rig.View();
    CQuestionAnswerer answers(view);
    ASSERT_TRUE(rig.GoOnline());
    view.StartButton().click();
    ASSERT_TRUE(PumpUntil([&] { return rig.m_Doc.Snapshot().runActive; }, 5000));

    answers.Answer(false);
    rig.m_Frame->OnPortSetup();
    EXPECT_EQ(rig.m_Frame->PortSetupDialog(), nullptr) << "the dialog opened without the operator's word";
    answers.Answer(false);
    rig.m_Frame->close();
    EXPECT_TRUE(rig.m_Frame->isVisible());
    answers.Answer(false);
    view.OnlineButton().click();
    EXPECT_TRUE(view.OnlineButton().isChecked());
    EXPECT_TRUE(rig.m_Doc.IsPortOpen());
    EXPECT_EQ(rig.StatusText(), "Programming");
    EXPECT_EQ(answers.m_Asked,
              QStringList(3, "Programming is in progress. Stop it and leave the board unprogrammed?"));

    answers.Answer(true);
    QTimer::singleShot(300, [&] {
        if (auto* dialog = rig.m_Frame->PortSetupDialog()) {
            dialog->reject();
        }
    });
    rig.m_Frame->OnPortSetup();
    ASSERT_TRUE(rig.WaitForStatus("Not Programmed", 3000)) << rig.StatusText().toStdString();
    EXPECT_EQ(rig.Outcome(), "programming was stopped: the board is not programmed");
    EXPECT_EQ(rig.m_Device->SessionsEnded(), 0) << "End reached the board";
    EXPECT_FALSE(rig.m_Doc.IsPortOpen());

    view.OnlineButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Not Programmed", 3000));
    ASSERT_TRUE(PumpUntil([&] { return view.StartButton().isEnabled(); }, 3000));
    view.StartButton().click();
    ASSERT_TRUE(rig.WaitForStatus("Programmed", 30000)) << rig.StatusText().toStdString();
    EXPECT_EQ(rig.m_Device->Flash(), rig.ExpectedFlash());

    // Closing in the middle of the next run, with the operator's yes: the run ends cleanly with the window.
    view.StartButton().click();
    ASSERT_TRUE(PumpUntil([&] { return rig.m_Doc.Snapshot().runActive; }, 5000));
    answers.Answer(true);
    rig.m_Frame->close();
    EXPECT_FALSE(rig.m_Frame->isVisible());
    EXPECT_FALSE(rig.m_Doc.IsWorkerRunning());
    EXPECT_FALSE(rig.m_Doc.IsPortOpen());
    EXPECT_EQ(rig.m_Device->SessionsEnded(), 1) << "the second run's End reached the board";
}

} // namespace
