// The real brenwick program as separate processes: settings kept across starts in a temporary
// XDG_CONFIG_HOME, broken settings files, closing on signals and one copy per user.
#include "AppRig.h"
#include "app/SingleInstance.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brenwick;

namespace {

constexpr int kStartMs = 10000;

// One folder per test for the settings, the runtime socket and the home folder.
struct CUserDirs {
    CUserDirs() {
        for (const char* sub : {"config/Veltmark", "run", "home"}) {
            std::filesystem::create_directories(m_Dir.Root() / sub);
        }
        ::chmod(m_Dir.Path("run").c_str(), 0700);
    }
    QString Path(const char* sub) const { return QString::fromStdString(m_Dir.Path(sub)); }
    QString SettingsFile() const { return Path("config/Veltmark/Brenwick.conf"); }
    QString SocketPath() const {
        return Path("run") + QStringLiteral("/brenwick-%1.instance").arg(::getuid());
    }
    QSettings Settings() const { return QSettings(SettingsFile(), QSettings::IniFormat); }
    std::string Read(const QString& key) const { return Settings().value(key).toString().toStdString(); }
    CTempDir m_Dir;
};

// A run of the real program.
struct CProgram {
    CProgram(const CUserDirs& dirs, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dirs.Path("config"));
        env.insert("XDG_RUNTIME_DIR", dirs.Path("run"));
        env.insert("HOME", dirs.Path("home"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_Process.setProcessEnvironment(env);
        m_Process.start(QStringLiteral(BRENWICK_EXE), args);
        m_Process.waitForStarted(kStartMs);
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
        if (!m_Process.waitForFinished(kStartMs) && m_Process.state() != QProcess::NotRunning) {
            return -1;
        }
        return m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -1;
    }
    std::string Err() { return m_Process.readAllStandardError().toStdString(); }

    QProcess m_Process;
    bool m_Running = false;
};

// Window placement (a hex and an octal text), port, baud index, last file and recent files; the last file is
// reloaded at the next start and forgotten when it is gone. SIGTERM, SIGINT and SIGHUP close like File >
// Exit.
TEST(SettingsAcrossStarts, AreReadAtStartAndWrittenAtClose) {
    CUserDirs dirs;
    const auto app = firmware::Application(0x2000, firmware::kSam7Word, 0);
    const std::string last = firmware::Write(dirs.m_Dir, "last.hex", app, true);
    const std::string named = firmware::Write(dirs.m_Dir, "named.bin", app, false);
    {
        QSettings settings = dirs.Settings();
        settings.setValue("WindowPos/WindowPos", "0x8002:3:0:0:0:0:0:0:400:300");
        settings.setValue("Settings/Strings/m_ActivePortName", "/dev/ttyFOO7");
        settings.setValue("Settings/Ints/m_ComBaudrateIndex", "0x3");
        settings.setValue("FilePaths/g_ProjectFilePath", QString::fromStdString(last));
        settings.setValue("Recent File List/File1", QString::fromStdString(last));
        settings.setValue("Recent File List/File2", "/gone/old.hex");
    }
    CProgram first(dirs, {QString::fromStdString(named)}); // a named file goes first in the recent files
    ASSERT_TRUE(first.m_Running) << first.Err();
    ASSERT_EQ(first.Stop(SIGTERM), 0) << first.Err();
    EXPECT_EQ(dirs.Read("WindowPos/WindowPos"), "32770:3:0:0:0:0:0:0:400:300");
    EXPECT_EQ(dirs.Read("Settings/Strings/m_ActivePortName"), "/dev/ttyFOO7");
    EXPECT_EQ(dirs.Read("Settings/Ints/m_ComBaudrateIndex"), "3");
    EXPECT_EQ(dirs.Read("FilePaths/g_ProjectFilePath"), named);
    EXPECT_EQ(dirs.Read("Recent File List/File1"), named);
    EXPECT_EQ(dirs.Read("Recent File List/File2"), last);
    EXPECT_EQ(dirs.Read("Recent File List/File3"), "/gone/old.hex");

    for (const bool gone : {false, true}) {
        dirs.Settings().setValue("WindowPos/WindowPos", "0:1:0:0:0:0:0144:0144:0644:0454");
        dirs.Settings().setValue("Settings/Ints/m_ComBaudrateIndex", "COM3");
        if (gone) {
            std::filesystem::remove(named);
        }
        CProgram again(dirs, {});
        ASSERT_TRUE(again.m_Running) << again.Err();
        ASSERT_EQ(again.Stop(gone ? SIGHUP : SIGINT), 0) << again.Err();
        EXPECT_FALSE(QFileInfo::exists(dirs.SocketPath())) << "the socket is removed at exit";
        EXPECT_EQ(dirs.Read("FilePaths/g_ProjectFilePath"), gone ? "" : named);
        EXPECT_EQ(dirs.Read("WindowPos/WindowPos"), "0:1:0:0:0:0:100:100:420:300");
        EXPECT_EQ(dirs.Read("Settings/Ints/m_ComBaudrateIndex"), "0");
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
        ASSERT_TRUE(program.m_Running) << program.Err();
        ASSERT_EQ(program.Stop(SIGTERM), 0);
        const QString err = QString::fromStdString(program.Err());
        EXPECT_EQ(err.count(corrupt ? "could not be read" : "will not be remembered"), 1)
            << err.toStdString();
        EXPECT_TRUE(err.contains(dirs.SettingsFile())) << err.toStdString();
        if (corrupt) {
            EXPECT_EQ(dirs.Read("Settings/Ints/m_ComBaudrateIndex"), "0");
            EXPECT_FALSE(dirs.Read("WindowPos/WindowPos").empty());
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
    qputenv("XDG_RUNTIME_DIR", dirs.Path("run").toLocal8Bit());
    app::CSingleInstance instance(QStringLiteral("brenwick"));
    ASSERT_TRUE(instance.Acquire());
    CAppRig rig({}, false);
    rig.Open();
    QObject::connect(&instance, &app::CSingleInstance::RaiseRequested, rig.m_Frame.get(),
                     &app::CMainFrame::RaiseForAnotherCopy);
    rig.m_Frame->showMinimized();
    ASSERT_TRUE(PumpUntil([&] { return rig.m_Frame->isMinimized(); }, 2000));
    QDialog dialog(rig.m_Frame.get());
    dialog.setModal(true);
    dialog.show();

    const auto image = firmware::Application(0x2000, firmware::kSam7Word, 0);
    CProgram second(dirs, {QString::fromStdString(firmware::Write(dirs.m_Dir, "second.hex", image, true))});
    // It ends by itself; this loop keeps serving the socket meanwhile.
    ASSERT_TRUE(PumpUntil([&] { return second.m_Process.state() == QProcess::NotRunning; }, kStartMs));
    EXPECT_EQ(second.Stop(0), 0);
    EXPECT_TRUE(PumpUntil([&] { return !rig.m_Frame->isMinimized(); }, 3000)) << "the first stayed minimised";
    EXPECT_TRUE(rig.m_Frame->isVisible());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(rig.m_Doc.m_FileLoaded, 0) << "the second copy's file was opened";
    EXPECT_FALSE(QFileInfo::exists(dirs.SettingsFile())) << "the second copy wrote settings";
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

TEST(DemoMode, RunsOnTheSimulatedDeviceAndLeavesTheStoredPortAndFile) {
    CUserDirs dirs;
    {
        QSettings settings = dirs.Settings();
        settings.setValue("Settings/Strings/m_ActivePortName", "/dev/ttyMINE");
        settings.setValue("Settings/Ints/m_ComBaudrateIndex", "7");
        settings.setValue("FilePaths/g_ProjectFilePath", "/work/mine.hex");
    }
    CProgram program(dirs, {"--demo"});
    ASSERT_TRUE(program.m_Running) << program.Err();
    ASSERT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_EQ(program.Err().find("cannot start"), std::string::npos);
    EXPECT_EQ(dirs.Read("Settings/Strings/m_ActivePortName"), "/dev/ttyMINE");
    EXPECT_EQ(dirs.Read("Settings/Ints/m_ComBaudrateIndex"), "7");
    EXPECT_EQ(dirs.Read("FilePaths/g_ProjectFilePath"), "/work/mine.hex");
    EXPECT_EQ(dirs.Read("Recent File List/File1").find("example"), std::string::npos);
}

// The start-up benchmark's hook: one line at the first paint of the panel when asked for, nothing otherwise.
TEST(FirstPaint, IsReportedOnceWhenAskedFor) {
    const QRegularExpression line(QStringLiteral("^first paint [0-9]+$"),
                                  QRegularExpression::MultilineOption);
    for (const bool asked : {true, false}) {
        CUserDirs dirs;
        if (asked) {
            qputenv("BRENWICK_REPORT_FIRST_PAINT", "1");
        }
        CProgram program(dirs, {});
        qunsetenv("BRENWICK_REPORT_FIRST_PAINT");
        ASSERT_TRUE(program.m_Running) << program.Err();
        QString err;
        PumpUntil(
            [&] {
                err += QString::fromStdString(program.Err());
                return !asked || err.contains(line);
            },
            kStartMs);
        Pump(300); // time for a second line, which must not come
        ASSERT_EQ(program.Stop(SIGTERM), 0);
        err += QString::fromStdString(program.Err());
        EXPECT_EQ(err.count(QStringLiteral("first paint")), asked ? 1 : 0) << err.toStdString();
        EXPECT_EQ(err.contains(line), asked) << err.toStdString();
    }
}

TEST(CommandLine, HelpVersionAndMistakes) {
    CUserDirs dirs;
    const struct {
        QStringList args;
        bool withDisplay;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{"--version"}, false, 0, "Brenwick Version 1.25", ""},
        {{"--help"}, false, 0, "--demo", ""},
        {{"--frobnicate"}, true, 2, "", "unknown option --frobnicate"},
        {{"a.hex", "b.hex"}, true, 2, "", "only one firmware file"},
        {{}, false, 1, "", "no display"},
    };
    for (const auto& c : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dirs.Path("config"));
        env.insert("XDG_RUNTIME_DIR", dirs.Path("run"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (!c.withDisplay) {
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
                env.remove(name);
            }
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(BRENWICK_EXE), c.args);
        ASSERT_TRUE(process.waitForFinished(kStartMs));
        EXPECT_EQ(process.exitCode(), c.status) << c.args.join(' ').toStdString();
        EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardOutput()).contains(c.out));
        EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardError()).contains(c.err));
    }
    EXPECT_FALSE(QFileInfo::exists(dirs.SettingsFile()));
}

} // namespace
