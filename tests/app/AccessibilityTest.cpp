// An operator with a keyboard and a screen reader, in process: the window driven by keys alone through a
// real programming run and the port setup, the status bar read through its accessible interface and heard
// through a bridge built into this test (as a screen reader's bridge hears it), a line too long for its box.
#define QT_STATICPLUGIN // the bridge below is built in, not loaded from a file
#include "AppRig.h"

#include <QAccessibleBridgePlugin>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QtPlugin>
#include <gtest/gtest.h>

using namespace brenwick;

namespace {

std::vector<std::tuple<QObject*, QAccessible::Event, QString>> g_Heard; // a new name, or a new value

class CRecordingBridge : public QAccessibleBridge {
  public:
    void setRootObject(QAccessibleInterface* /*root*/) override {}
    void notifyAccessibilityUpdate(QAccessibleEvent* e) override {
        if (e->type() == QAccessible::NameChanged || e->type() == QAccessible::ValueChanged) {
            const auto* value = dynamic_cast<QAccessibleValueChangeEvent*>(e);
            g_Heard.emplace_back(e->object(), e->type(),
                                 value != nullptr ? value->value().toString()
                                                  : e->accessibleInterface()->text(QAccessible::Name));
        }
    }
};

class CRecordingBridgePlugin : public QAccessibleBridgePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QAccessibleBridgeFactoryInterface_iid FILE "RecordingBridge.json")

  public:
    QAccessibleBridge* create(const QString&) override {
        return std::make_unique<CRecordingBridge>().release();
    }
};

QStringList Heard(QObject* object, QAccessible::Event type) {
    QStringList texts;
    for (const auto& [from, event, text] : g_Heard) {
        if (from == object && event == type) {
            texts << text;
        }
    }
    return texts;
}

// A key on whatever takes the keys now: an open menu, else the focused control.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* popup = QApplication::activePopupWidget();
    QTest::keyClick(popup != nullptr ? popup : QApplication::focusWidget(), key, modifiers);
}

// Tabs until `target` has the focus; the controls passed on the way, the start included.
std::vector<QWidget*> TabTo(QWidget* target) {
    std::vector<QWidget*> passed{QApplication::focusWidget()};
    while (passed.back() != target && passed.size() < 12) {
        Press(Qt::Key_Tab);
        passed.push_back(QApplication::focusWidget());
    }
    return passed;
}

TEST(Accessibility, KeysAloneAndAScreenReaderThroughAProgrammingRun) {
    g_Heard.clear();
    DeviceSimOptions options;
    options.baud = 115200; // slow enough for the bar to be read in steps
    options.serial = "SN-0123456789-ABCDEFGHIJKLMNOPQRSTUVWXYZ"; // longer than any window's line
    CAppRig rig(options);
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    auto& view = rig.View();
    auto& frame = *rig.m_Frame;
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(&view.Status());
    const auto reading = [&] {
        QAccessibleValueInterface* value = status->valueInterface();
        return status->text(QAccessible::Name) + " / " + status->text(QAccessible::Description) +
               (value != nullptr ? " / " + value->currentValue().toString() : QString());
    };
    const auto name = [](QWidget& w) {
        return QAccessible::queryAccessibleInterface(&w)->text(QAccessible::Name);
    };
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 2000));
    EXPECT_EQ(reading(), "Off Line / grey: off line");
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    ASSERT_EQ(QApplication::focusWidget(), &view.OnlineButton()) << "the first useful control has the focus";
    Press(Qt::Key_Space);
    ASSERT_TRUE(rig.WaitForStatus("Connected")) << rig.StatusText().toStdString();
    EXPECT_EQ(reading(), "Connected / green: connected");
    EXPECT_EQ(name(view.Clock()), view.Clock().GetText().trimmed());
    Press(Qt::Key_Tab);
    EXPECT_EQ(TabTo(&view.OnlineButton()),
              (std::vector<QWidget*>{&view.MakeBinButton(), &view.Clock(), &view.StartButton(),
                                     &view.Status(), &view.OnlineButton()}));

    // The geometry line is too wide for its box: it starts as a left-aligned line does, whole in its name.
    widgets::CTextLine& line = view.GeometryLine();
    EXPECT_EQ(name(line),
              "SN=SN-0123456789-ABCDEFGHIJKLMNOPQRSTUVWXYZ Size = 262144 Page = 256 BootLen = 16384");
    EXPECT_EQ(line.toolTip(), line.text());
    QLabel cut(line.text(), line.parentWidget());
    cut.setFrameStyle(line.frameStyle());
    cut.setGeometry(line.geometry());
    const QRect firstHalf(0, 0, line.width() / 2, line.height());
    ASSERT_GT(line.fontMetrics().horizontalAdvance(line.text()), line.width());
    EXPECT_EQ(line.grab().toImage().copy(firstHalf), cut.grab().toImage().copy(firstHalf));

    ASSERT_EQ(TabTo(&view.StartButton()).back(), &view.StartButton());
    Press(Qt::Key_Return);
    ASSERT_TRUE(rig.WaitForStatus("Programming", 3000)) << rig.StatusText().toStdString();
    QStringList readings;
    ASSERT_TRUE(PumpUntil([&] { return (readings << reading()).back().startsWith("Programmed"); }, 20000));
    readings.removeDuplicates();
    EXPECT_TRUE(readings.takeLast().startsWith("Programmed / green: programmed. 24832 bytes in "));
    EXPECT_GE(readings.size(), 3) << "the value should follow the run in steps";
    for (const QString& r : readings) {
        EXPECT_TRUE(r.startsWith("Programming / yellow: programming")) << r.toStdString();
    }
    EXPECT_EQ(view.Status().GetPos(), 0u);
    EXPECT_EQ(rig.m_Device->Flash(), rig.ExpectedFlash());
    // Each new text is told once, though the panel hands the text over on every tick.
    const QStringList names = Heard(&view.Status(), QAccessible::NameChanged);
    EXPECT_EQ(names.mid(names.size() - 3), (QStringList{"Connected", "Programming", "Programmed"}));
    for (qsizetype i = 1; i < names.size(); ++i) {
        EXPECT_NE(names[i], names[i - 1]) << "told twice";
    }

    // Alt+P opens the port setup and returns when it closes; a timer presses Alt+B (the baud list), Down and
    // Enter (OK) in it. Then an accelerator.
    const int baudIndex = rig.m_Doc.ComBaudrateIndex();
    QTimer keys;
    QObject::connect(&keys, &QTimer::timeout, [&keys] {
        if (QApplication::activeModalWidget() != nullptr &&
            QApplication::activeWindow() == QApplication::activeModalWidget()) {
            keys.stop();
            Press(Qt::Key_B, Qt::AltModifier);
            Press(Qt::Key_Down);
            Press(Qt::Key_Return);
        }
    });
    keys.start(10);
    Press(Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(rig.m_Doc.ComBaudrateIndex(), baudIndex + 1);
    frame.activateWindow(); // a desktop's window manager does this when the dialog goes; offscreen has none
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QSignalSpy fileNew(&frame.FileNewAction(), &QAction::triggered);
    Press(Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(fileNew.count(), 1);
}

// The Online box worked through its accessible toggle, as a screen reader or a switch user works it, goes on
// line and off again, and the box agrees with the link; the clock is read as text.
TEST(Accessibility, TheOnlineBoxWorksThroughItsAccessibleToggle) {
    CAppRig rig;
    rig.Open();
    ASSERT_TRUE(rig.WaitForStatus("Off Line", 2000));
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(&rig.View().OnlineButton());
    QAccessibleActionInterface* actions = box->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    for (const char* expected : {"File Not Loaded", "Off Line"}) {
        actions->doAction(QAccessibleActionInterface::toggleAction());
        ASSERT_TRUE(rig.WaitForStatus(expected)) << rig.StatusText().toStdString();
        EXPECT_EQ(box->state().checked, rig.m_Doc.Snapshot().onLine) << expected;
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&rig.View().Clock())->role(), QAccessible::StaticText);
}

TEST(Accessibility, ProgressIsToldAtOnceThenOnceMoreWithTheLastValue) {
    g_Heard.clear();
    widgets::CStatusCtrl status;
    status.SetProgressShown(true);
    for (std::uint32_t pos = 1; pos <= 60; ++pos) {
        status.SetPos(pos);
    }
    EXPECT_EQ(Heard(&status, QAccessible::ValueChanged), QStringList{"1"});
    ASSERT_TRUE(PumpUntil([&] { return Heard(&status, QAccessible::ValueChanged).size() == 2; }, 5000));
    status.SetProgressShown(false);
    status.SetPos(0);
    Pump(700);
    EXPECT_EQ(Heard(&status, QAccessible::ValueChanged), (QStringList{"1", "60"}));
}

} // namespace

Q_IMPORT_PLUGIN(CRecordingBridgePlugin)

#include "AccessibilityTest.moc"
