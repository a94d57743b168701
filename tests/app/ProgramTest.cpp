// The real brenwick program as separate processes, and its application object in this one: settings kept
// across starts in a temporary XDG_CONFIG_HOME, broken settings files, closing on signals, one copy per user,
// opening files, the command line.
#include "AppRig.h"
#include "app/CBrenwickApp.h"
#include "app/ProductionView.h"
#include "app/SingleInstance.h"
#include "panel/WindowPlacement.h"
#include "station/FlashLog.h"
#include "station/Sha256.h"
#include "support/HexText.h"
#include "support/RunCommand.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brenwick;
using namespace brenwick::app;

namespace {

constexpr int kStartMs = 10000;

// One folder per test for the settings, the runtime socket and the home folder.
struct CUserDirs : CTempDir {
    CUserDirs() {
        for (const char* sub : {"config/Veltmark", "run", "home"}) {
            std::filesystem::create_directories(Root() / sub);
        }
        ::chmod(Path("run").c_str(), 0700);
    }
    QString QPath(const char* sub) const { return QString::fromStdString(Path(sub)); }
    QString SettingsFile() const { return QPath("config/Veltmark/Brenwick.conf"); }
    QString SocketPath() const {
        return QPath("run") + QStringLiteral("/brenwick-%1.instance").arg(::getuid());
    }
    QSettings Settings() const { return QSettings(SettingsFile(), QSettings::IniFormat); }
    // The values under the keys, joined by " | ".
    std::string Read(std::initializer_list<const char*> keys) const {
        QStringList values;
        for (const char* key : keys) {
            values << Settings().value(key).toString();
        }
        return values.join(" | ").toStdString();
    }
};

// A run of the real program, off screen.
struct CProgram {
    CProgram(const CUserDirs& dirs, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dirs.QPath("config"));
        env.insert("XDG_RUNTIME_DIR", dirs.QPath("run"));
        env.insert("HOME", dirs.QPath("home"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_Process.setProcessEnvironment(env);
        m_Process.start(QStringLiteral(BRENWICK_EXE), args);
        // Running once it holds its single-instance socket (its signal handling is in place by then).
        const auto ended = [&] { return m_Process.state() == QProcess::NotRunning; };
        m_Running =
            PumpUntil([&] { return QFileInfo::exists(dirs.SocketPath()) || ended(); }, kStartMs) && !ended();
    }
    ~CProgram() {
        m_Process.kill();
        m_Process.waitForFinished(kStartMs);
    }
    // Sends the signal (none: 0) and returns the exit status; -1 when it did not end in time or crashed.
    int Stop(int signalNumber) {
        if (signalNumber != 0) {
            ::kill(static_cast<pid_t>(m_Process.processId()), signalNumber);
        }
        const bool ended = m_Process.waitForFinished(kStartMs) || m_Process.state() == QProcess::NotRunning;
        return ended && m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -1;
    }
    // All the standard error so far.
    QString Err() { return m_Err += QString::fromLocal8Bit(m_Process.readAllStandardError()); }

    QProcess m_Process;
    QString m_Err;
    bool m_Running = false;
};

// Window placement (a hex and an octal text), port, baud index, last file and recent files; the last file is
// reloaded at the next start and forgotten when it is gone; a demo run leaves them all. SIGTERM, SIGINT and
// SIGHUP close like File > Exit. The start-up benchmark's line comes once at the first paint when asked for.
TEST(SettingsAcrossStarts, AreReadAtStartAndWrittenAtClose) {
    CUserDirs dirs;
    const auto app = firmware::Application(0x2000, firmware::kSam7Word, 0);
    const std::string last = firmware::Write(dirs, "last.hex", app, true);
    const std::string named = firmware::Write(dirs, "named.bin", app, false);
    for (const auto& [key, value] :
         {std::pair<const char*, QString>{"WindowPos/WindowPos", "0x8002:3:0:0:0:0:0:0:400:300"},
          {"Settings/Strings/m_ActivePortName", "/dev/ttyFOO7"},
          {"Settings/Ints/m_ComBaudrateIndex", "0x3"},
          {"FilePaths/g_ProjectFilePath", QString::fromStdString(last)},
          {"Recent File List/File1", QString::fromStdString(last)},
          {"Recent File List/File2", "/gone/old.hex"}}) {
        dirs.Settings().setValue(key, value);
    }
    const QRegularExpression firstPaint(QStringLiteral("^first paint [0-9]+$"),
                                        QRegularExpression::MultilineOption);
    qputenv("BRENWICK_REPORT_FIRST_PAINT", "1");
    CProgram first(dirs, {QString::fromStdString(named)}); // a named file goes first in the recent files
    qunsetenv("BRENWICK_REPORT_FIRST_PAINT");
    ASSERT_TRUE(first.m_Running) << first.Err().toStdString();
    EXPECT_TRUE(PumpUntil([&] { return first.Err().contains(firstPaint); }, kStartMs));
    Pump(300); // time for a second line, which must not come
    ASSERT_EQ(first.Stop(SIGTERM), 0) << first.Err().toStdString();
    EXPECT_EQ(first.Err().count(QStringLiteral("first paint")), 1) << first.Err().toStdString();
    const auto saved = {"WindowPos/WindowPos", "Settings/Strings/m_ActivePortName",
                        "Settings/Ints/m_ComBaudrateIndex", "FilePaths/g_ProjectFilePath",
                        "Recent File List/File1"};
    EXPECT_EQ(dirs.Read(saved), "32770:3:0:0:0:0:0:0:400:300 | /dev/ttyFOO7 | 3 | " + named + " | " + named);
    EXPECT_EQ(dirs.Read({"Recent File List/File2", "Recent File List/File3"}), last + " | /gone/old.hex");

    for (const auto& [demo, gone, signal] :
         {std::tuple{true, false, SIGTERM}, {false, false, SIGINT}, {false, true, SIGHUP}}) {
        SCOPED_TRACE(testing::Message() << (demo ? "demo" : gone ? "file gone" : "again"));
        dirs.Settings().setValue("WindowPos/WindowPos", "0:1:0:0:0:0:0144:0144:0644:0454");
        dirs.Settings().setValue("Settings/Ints/m_ComBaudrateIndex", demo ? "7" : "COM3");
        if (gone) {
            std::filesystem::remove(named);
        }
        CProgram again(dirs, demo ? QStringList{"--demo"} : QStringList{});
        ASSERT_TRUE(again.m_Running) << again.Err().toStdString();
        ASSERT_EQ(again.Stop(signal), 0) << again.Err().toStdString();
        EXPECT_FALSE(again.Err().contains("first paint")) << "reported without being asked";
        EXPECT_FALSE(QFileInfo::exists(dirs.SocketPath())) << "the socket is removed at exit";
        EXPECT_EQ(dirs.Read(saved), std::string("0:1:0:0:0:0:100:100:420:300 | /dev/ttyFOO7 | ") +
                                        (demo ? "7" : "0") + " | " + (gone ? "" : named) + " | " + named);
    }
}

// A stored size beyond the screen is cut to it, and stored so at close; edges at the int's limits neither end
// the program nor leave the window off the screen (reversed ones leave it at its default place). The
// program runs on the platform this test runs on (off screen: one screen, 800x800 with Qt 6.4), so it has
// the same screen.
TEST(SettingsAcrossStarts, AStoredPlacementEndsUpOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // The stored text, and whether the window covers the screen after.
    for (const auto& [stored, covers] :
         {std::pair{"0:1:0:0:0:0:0:0:100000:100000", true},
          {"0:1:0:0:0:0:2147483647:2147483647:-2147483648:-2147483648", false},
          {"0:1:0:0:0:0:-2147483648:-2147483648:2147483647:2147483647", true}}) {
        SCOPED_TRACE(stored);
        CUserDirs dirs;
        dirs.Settings().setValue("WindowPos/WindowPos", stored);
        CProgram program(dirs, {});
        ASSERT_TRUE(program.m_Running) << program.Err().toStdString();
        ASSERT_EQ(program.Stop(SIGTERM), 0) << program.Err().toStdString();
        const std::string text = dirs.Read({"WindowPos/WindowPos"});
        const auto placed = panel::ParseWindowPos(text);
        ASSERT_TRUE(placed) << text;
        const panel::WindowPlacement& p = placed->placement;
        const QRect window(QPoint(p.left, p.top), QPoint(p.right - 1, p.bottom - 1));
        EXPECT_TRUE(!window.isEmpty() && screen.contains(window))
            << text << " on a screen of " << screen.width() << "x" << screen.height();
        if (covers) {
            EXPECT_EQ(window, screen) << text;
        }
    }
}

// A corrupt file is kept aside and the program starts with the defaults; an unwritable one is reported once.
TEST(BrokenSettings, AreReportedAndTheProgramStillRuns) {
    for (const bool corrupt : {true, false}) {
        CUserDirs dirs;
        if (corrupt) {
            QFile file(dirs.SettingsFile());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(
                "\x00\xff[[[WindowPos\n=\x01\x02garbage\n[Settings\nInts\\m_ComBaudrateIndex", 62));
        } else {
            QDir().mkpath(dirs.SettingsFile()); // a folder where the file should be: neither read nor written
        }
        CProgram program(dirs, {});
        ASSERT_TRUE(program.m_Running) << program.Err().toStdString();
        ASSERT_EQ(program.Stop(SIGTERM), 0);
        const QString err = program.Err();
        EXPECT_EQ(err.count(corrupt ? "could not be read" : "will not be remembered"), 1)
            << err.toStdString();
        EXPECT_TRUE(err.contains(dirs.SettingsFile())) << err.toStdString();
        if (corrupt) {
            EXPECT_EQ(dirs.Read({"Settings/Ints/m_ComBaudrateIndex"}), "0");
            EXPECT_FALSE(dirs.Read({"WindowPos/WindowPos"}).empty());
            QFile kept(dirs.SettingsFile() + ".bad");
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << "the unreadable file is kept aside";
            EXPECT_TRUE(kept.readAll().contains("garbage"));
        }
    }
}

// The first copy is this test's own window; the second, the real program, ends at once without opening its
// file or touching the settings, and the first comes to the front with its dialog.
TEST(SingleInstance, ASecondCopyEndsAtOnceAndRaisesTheFirst) {
    CUserDirs dirs;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", dirs.QPath("run").toLocal8Bit());
    CSingleInstance instance(QStringLiteral("brenwick"));
    ASSERT_TRUE(instance.Acquire());
    CAppRig rig({}, false);
    rig.Open();
    QObject::connect(&instance, &CSingleInstance::RaiseRequested, rig.m_Frame.get(),
                     &CMainFrame::RaiseForAnotherCopy);
    rig.m_Frame->showMinimized();
    ASSERT_TRUE(PumpUntil([&] { return rig.m_Frame->isMinimized(); }, 2000));
    QDialog dialog(rig.m_Frame.get());
    dialog.setModal(true);
    dialog.show();

    const auto image = firmware::Application(0x2000, firmware::kSam7Word, 0);
    CProgram second(dirs, {QString::fromStdString(firmware::Write(dirs, "second.hex", image, true))});
    // It ends by itself; this loop keeps serving the socket meanwhile.
    ASSERT_TRUE(PumpUntil([&] { return second.m_Process.state() == QProcess::NotRunning; }, kStartMs));
    EXPECT_EQ(second.Stop(0), 0);
    EXPECT_TRUE(PumpUntil([&] { return !rig.m_Frame->isMinimized(); }, 3000)) << "the first stayed minimised";
    EXPECT_TRUE(rig.m_Frame->isVisible());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(rig.m_Doc.IsFileLoaded()) << "the second copy's file was opened";
    EXPECT_FALSE(QFileInfo::exists(dirs.SettingsFile())) << "the second copy wrote settings";
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

// The application object in this process, with its settings, runtime folder and home folder in `dirs`.
struct CAppInProcess {
    explicit CAppInProcess(const CUserDirs& dirs, panel::AppOptions options = {})
        : m_SavedRuntime(qgetenv("XDG_RUNTIME_DIR")), m_SavedHome(qgetenv("HOME")),
          m_SavedState(qgetenv("XDG_STATE_HOME")), m_App(std::move(options)) {
        qputenv("XDG_RUNTIME_DIR", dirs.QPath("run").toLocal8Bit());
        qputenv("HOME", dirs.QPath("home").toLocal8Bit());
        qputenv("XDG_STATE_HOME", dirs.QPath("state").toLocal8Bit()); // where the flash log goes
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dirs.QPath("config"));
        m_Started = m_App.InitInstance();
    }
    ~CAppInProcess() {
        if (m_Started) {
            m_App.MainFrame()->close();
        }
        qputenv("XDG_RUNTIME_DIR", m_SavedRuntime);
        qputenv("HOME", m_SavedHome);
        qputenv("XDG_STATE_HOME", m_SavedState);
    }
    CMainFrame& Frame() { return *m_App.MainFrame(); }
    QString Outcome() { return Frame().View().OutcomeLine().text(); }

    QByteArray m_SavedRuntime;
    QByteArray m_SavedHome;
    QByteArray m_SavedState;
    CBrenwickApp m_App;
    bool m_Started = false;
};

// Opening files, the good way and every bad way: the window keeps its place and size whatever is opened (a
// file, a recent one, a dropped one, File New); a file that does not load says why in the window, the title
// says no file is loaded, and the project path and the recent files keep the last good file; a recent entry
// whose file is gone says so and leaves the list. A FIFO is refused at once instead of freezing the window.
TEST(AppInProcess, OpensFilesKeepsItsPlaceAndSaysWhyAFileDoesNotLoad) {
    CUserDirs dir;
    const auto app = firmware::Application(0x1000, firmware::kSam7Word, 0);
    panel::AppOptions options;
    options.file = firmware::Write(dir, "first.hex", app, true);
    CAppInProcess run(dir, options);
    ASSERT_TRUE(run.m_Started);
    auto& frame = run.Frame();
    frame.move(150, 120);
    frame.resize(frame.width() + 200, frame.height() + 40);
    Pump(50);
    const QRect placed = frame.geometry();
    const QString good = QString::fromStdString(firmware::Write(dir, "second.bin", app, false));
    for (const auto& [name, act] : std::initializer_list<std::pair<const char*, std::function<void()>>>{
             {"open", [&] { EXPECT_TRUE(run.m_App.OpenDocument(good)); }},
             {"drop", [&] { emit frame.FileDropped(good); }},
             {"recent", [&] { frame.RecentActions().back()->trigger(); }},
             {"new", [&] { frame.FileNewAction().trigger(); }}}) {
        act();
        Pump(50);
        EXPECT_EQ(frame.geometry(), placed) << name;
    }
    ASSERT_TRUE(run.m_App.OpenDocument(QString::fromStdString(options.file)));

    std::string tooLarge(0x3C001, '\0');
    const std::string fifo = dir.Path("pipe.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, const char*> bad[] = {
        {dir.Write("garbage.bin", std::string("\x01\x02 not firmware at all")),
         "garbage.bin: unknown family"},
        {dir.Write("empty.hex", std::string()), "empty.hex: the file ends without an end-of-file record"},
        {dir.Write("sum.hex", hex_text::Sam7Start() + hex_text::Data(0x4004, {1, 2, 3, 4}) +
                                  hex_text::Data(0x4008, {1, 2, 3, 4}) +
                                  hex_text::Data(0x400C, {1, 2, 3, 4}, 1) + hex_text::End()),
         "sum.hex: bad checksum at line 5"},
        {dir.Write("huge.bin", tooLarge), "huge.bin: too large"},
        {dir.Write("notes.txt", std::string("hello")), "notes.txt: not a firmware file"},
        {fifo, "pipe.hex: not a regular file"},
    };
    for (const auto& [path, reason] : bad) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(run.m_App.OpenDocument(QString::fromStdString(path)));
        EXPECT_TRUE(run.Outcome().startsWith(reason)) << run.Outcome().toStdString();
        EXPECT_TRUE(run.Outcome().endsWith("; no firmware file is loaded")) << run.Outcome().toStdString();
        EXPECT_FALSE(run.m_App.Document().IsFileLoaded());
        EXPECT_EQ(frame.windowTitle(), "Untitled - Brenwick");
        EXPECT_EQ(run.m_App.Document().ProjectFilePath(), options.file);
    }
    EXPECT_EQ(frame.RecentActions().size(), 2);

    std::filesystem::remove(good.toStdString());
    frame.RecentActions().back()->trigger();
    EXPECT_EQ(run.Outcome().toStdString(), "recent file " + good.toStdString() +
                                               ": cannot open the file: No such file or directory; removed "
                                               "from the recent files");
    EXPECT_EQ(frame.RecentActions().size(), 1);
    frame.RecentActions().front()->trigger();
    EXPECT_TRUE(run.m_App.Document().IsFileLoaded());
    EXPECT_EQ(frame.windowTitle(), "first.hex - Brenwick");
    EXPECT_TRUE(run.Outcome().isEmpty()) << "a file that loads clears the last complaint";
}

// Opening a file in the middle of a run asks first: no keeps the run and the file; yes stops the run cleanly,
// opens the file, and Start programs the board, left in its run, with the new file.
TEST(AppInProcess, OpeningAFileDuringARunAsksFirst) {
    CUserDirs dir;
    DeviceSimOptions options;
    options.baud = 115200; // a run long enough to be interrupted
    CSimulatedDevice device(options);
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;
    dir.Settings().setValue("Settings/Strings/m_ActivePortName", QString::fromStdString(device.PortPath()));
    dir.Settings().setValue("Settings/Ints/m_ComBaudrateIndex", "10");
    dir.Settings().setValue("Settings/Strings/FlashLogPath", dir.QPath("line3/flash-log.jsonl"));
    panel::AppOptions startWith;
    startWith.file =
        firmware::Write(dir, "first.hex", firmware::Application(0x8000, firmware::kSam7Word, 0), true);
    const auto second = firmware::Application(0x3000, firmware::kSam7Word, 0);
    const QString other = QString::fromStdString(firmware::Write(dir, "second.bin", second, false));
    CAppInProcess run(dir, startWith);
    ASSERT_TRUE(run.m_Started);
    auto& view = run.Frame().View();
    const auto status = [&] { return view.Status().GetText(); };
    CQuestionAnswerer answers(view);
    view.OnlineButton().click();
    ASSERT_TRUE(PumpUntil([&] { return status() == "Connected"; }, 6000)) << status().toStdString();
    view.StartButton().click();
    ASSERT_TRUE(PumpUntil(
        [&] { return run.m_App.Document().Snapshot().runActive && status() == "Programming"; }, 5000));

    answers.Answer(false);
    EXPECT_FALSE(run.m_App.OpenDocument(other));
    EXPECT_EQ(run.m_App.Document().ProjectFilePath(), startWith.file);
    EXPECT_EQ(status(), "Programming");
    answers.Answer(true);
    emit run.Frame().FileDropped(other);
    EXPECT_EQ(answers.m_Asked.size(), 2);
    EXPECT_EQ(run.m_App.Document().ProjectFilePath(), other.toStdString());
    EXPECT_EQ(device.SessionsEnded(), 0) << "End reached the board";
    ASSERT_TRUE(
        PumpUntil([&] { return status() == "Not Programmed" && view.StartButton().isEnabled(); }, 3000))
        << status().toStdString();
    view.StartButton().click();
    ASSERT_TRUE(PumpUntil([&] { return status() == "Programmed"; }, 20000)) << status().toStdString();
    const auto flash = device.Flash();
    EXPECT_EQ(flash, firmware::ExpectedFlash(second, 0, flash.size(), 256));

    // Both runs are in the flash log the settings name: the stopped one with the first file, the good one
    // with the second.
    station::FlashLogContents log;
    ASSERT_TRUE(station::ReadFlashLog(dir.Path("line3/flash-log.jsonl"), &log, &error)) << error;
    ASSERT_EQ(log.records.size(), 2u);
    EXPECT_EQ(log.records[0].firmware, startWith.file);
    EXPECT_FALSE(log.records[0].passed);
    EXPECT_EQ(log.records[0].result, "Interrupted");
    std::string sha;
    ASSERT_TRUE(station::Sha256OfFile(other.toStdString(), &sha, &error)) << error;
    EXPECT_TRUE(log.records[1].passed) << log.records[1].reason;
    EXPECT_EQ(log.records[1].sha256, sha);
    EXPECT_EQ(log.records[1].serialNumber, "SIM000001");
    EXPECT_EQ(log.records[1].port, device.PortPath());
    EXPECT_GT(log.records[1].bytesSent, 0x3000);
}

// Make Bin tells where the file went and its size, or why nothing was written; the window stays free of
// boxes either way.
TEST(AppInProcess, MakeBinTellsWhereTheFileWentOrWhyNot) {
    CUserDirs dir;
    panel::AppOptions options;
    options.file =
        firmware::Write(dir, "fw.hex", firmware::Application(0x1235, firmware::kSam7Word, 0), true);
    CAppInProcess run(dir, options);
    ASSERT_TRUE(run.m_Started);
    const std::string output = dir.Path("home/Firm_xxx.bin");
    run.Frame().View().MakeBinButton().click();
    EXPECT_EQ(run.Outcome().toStdString(), "Make Bin: wrote " + output + " (4668 bytes)");
    EXPECT_EQ(std::filesystem::file_size(output), 4668u);
    std::filesystem::remove(output);
    std::filesystem::create_directory(output);
    run.Frame().View().MakeBinButton().click();
    EXPECT_EQ(run.Outcome().toStdString(), "Make Bin: nothing written: " + output + ": Is a directory");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Help > About names the version that project(VERSION) gives the build.
TEST(AppInProcess, TheAboutBoxNamesTheBuildsVersion) {
    CUserDirs dir;
    CAppInProcess run(dir);
    ASSERT_TRUE(run.m_Started);
    QString title;
    QStringList texts;
    QTimer::singleShot(0, [&] { // runs once the box's own event loop does
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (about == nullptr) {
            return; // the box was not shown modally: title stays empty
        }
        title = about->windowTitle();
        for (const QLabel* label : about->findChildren<QLabel*>()) {
            texts << label->text();
        }
        about->accept();
    });
    run.Frame().AboutAction().trigger();
    EXPECT_EQ(title, "About Brenwick");
    EXPECT_TRUE(texts.contains(QStringLiteral("Brenwick Version " BRENWICK_PROJECT_VERSION)))
        << texts.join(" | ").toStdString();
}

// Settings that could not be read are told in the window once, without a modal box.
TEST(AppInProcess, ASettingsFileKeptAsideIsToldInTheWindow) {
    CUserDirs dir;
    QFile file(dir.SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("[WindowPos]\nWindowPos=\x01\x02\n", 27));
    file.close();
    CAppInProcess run(dir);
    ASSERT_TRUE(run.m_Started);
    QStringList told;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            told << box->text();
            EXPECT_FALSE(box->isModal());
        }
    }
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told.front().contains("could not be read; it was kept as")) << told.front().toStdString();
}

// A FIFO named on the command line is refused at once with its reason, rather than holding the start up
// until a writer comes: the window is there and a stop signal ends it at once.
// --demo --boards starts in production mode with the example firmware; the boards are plugged in after
// the start, and File > Open during a run asks first.
TEST(AppInProcess, DemoBoardsStartInProductionMode) {
    CUserDirs dirs;
    panel::AppOptions options;
    options.demo = true;
    options.boards = 1;
    CAppInProcess run(dirs, options);
    ASSERT_TRUE(run.m_Started);
    ASSERT_TRUE(run.Frame().InProduction());
    CProductionView& view = run.Frame().Production();
    EXPECT_EQ(view.FileLine().text().toStdString(), "Firmware: " + run.m_App.Document().ProjectFilePath());
    EXPECT_EQ(view.Table().rowCount(), 0) << "plugged in after the start";
    ASSERT_TRUE(PumpUntil([&] { return view.Table().rowCount() == 1; }, kStartMs));

    CQuestionAnswerer answer([&] { return view.OpenQuestion(); });
    answer.Answer(false);
    EXPECT_FALSE(run.m_App.OpenDocument(QStringLiteral("/nonexistent.hex")));
    EXPECT_EQ(answer.m_Asked.size(), 1);
    EXPECT_TRUE(PumpUntil([&] { return view.Passed() == 1; }, 60000))
        << view.CountsLine().text().toStdString();
    EXPECT_EQ(view.Table().item(0, CProductionView::ColSerial)->text(), "SIM000001");
}

TEST(CommandLine, AFifoAsTheFileIsRefusedAtOnce) {
    CUserDirs dirs;
    const std::string fifo = dirs.Path("pipe.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CProgram program(dirs, {QString::fromStdString(fifo)});
    ASSERT_TRUE(program.m_Running) << program.Err().toStdString();
    EXPECT_TRUE(PumpUntil([&] { return program.Err().contains("pipe.hex: not a regular file"); }, kStartMs))
        << program.Err().toStdString();
    EXPECT_EQ(program.Stop(SIGTERM), 0);
}

// Exit statuses and messages, one for each; the parsing itself is tested below the program.
TEST(CommandLine, ExitStatusesAndMessages) {
    CUserDirs dirs;
    const std::string env =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME=" + dirs.Path("config") +
        " XDG_RUNTIME_DIR=" + dirs.Path("run") + " ";
    // The arguments, the exit status, and what standard output and standard error hold.
    for (const auto& [args, status, out, err] :
         {std::tuple{"--version", 0, "Brenwick Version " BRENWICK_PROJECT_VERSION "\n", ""},
          {"--frobnicate", 2, "", "unknown option --frobnicate"},
          {"", 1, "", "no display"}}) {
        const CommandResult r =
            RunCommand(env + (status == 2 ? "QT_QPA_PLATFORM=offscreen " : "") + BRENWICK_EXE + " " + args);
        EXPECT_EQ(r.status, status) << args;
        EXPECT_NE(r.out.find(out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
    }
    EXPECT_FALSE(QFileInfo::exists(dirs.SettingsFile()));
}

} // namespace
