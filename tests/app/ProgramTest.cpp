// The real brenwick program as separate processes: settings kept across runs in a temporary
// XDG_CONFIG_HOME, closing on signals, one copy per user, demo mode and the command line.
#include "AppRig.h"
#include "app/SingleInstance.h"
#include "support/CaseName.h"

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

using namespace brenwick::app;

using namespace brenwick;

namespace {

constexpr int kStartMs = 10000;

// One folder per test for the settings, the runtime socket and the home folder.
class CUserDirs {
  public:
    CUserDirs() {
        for (const char* sub : {"config", "run", "home"}) {
            std::filesystem::create_directories(m_Dir.Root() / sub);
        }
        ::chmod(m_Dir.Path("run").c_str(), 0700);
    }
    QString Config() const { return QString::fromStdString(m_Dir.Path("config")); }
    QString Run() const { return QString::fromStdString(m_Dir.Path("run")); }
    QString SettingsFile() const { return Config() + "/Veltmark/Brenwick.conf"; }
    QString SocketPath() const { return Run() + QStringLiteral("/brenwick-%1.instance").arg(::getuid()); }
    std::unique_ptr<QSettings> Settings() const {
        QFileInfo(SettingsFile()).dir().mkpath(".");
        return std::make_unique<QSettings>(SettingsFile(), QSettings::IniFormat);
    }
    QString Read(const QString& key) const { return Settings()->value(key).toString(); }
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Config());
        env.insert("XDG_RUNTIME_DIR", Run());
        env.insert("HOME", QString::fromStdString(m_Dir.Path("home")));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    CTempDir m_Dir;
};

// A run of the real program.
class CProgram {
  public:
    CProgram(const CUserDirs& dirs, const QStringList& args) {
        m_Process.setProcessEnvironment(dirs.Environment());
        m_Process.start(QStringLiteral(BRENWICK_EXE), args);
        m_Process.waitForStarted(kStartMs);
    }
    ~CProgram() {
        if (m_Process.state() != QProcess::NotRunning) {
            m_Process.kill();
            m_Process.waitForFinished(kStartMs);
        }
    }
    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    // True once the program holds its single-instance socket (its signal handling is in place by then).
    bool WaitUntilRunning(const CUserDirs& dirs) {
        return PumpUntil(
                   [&] {
                       return QFileInfo::exists(dirs.SocketPath()) ||
                              m_Process.state() == QProcess::NotRunning;
                   },
                   kStartMs) &&
               m_Process.state() == QProcess::Running;
    }
    // Sends the signal and returns the exit status; -1 when it did not end in time.
    int Stop(int signalNumber) {
        ::kill(static_cast<pid_t>(m_Process.processId()), signalNumber);
        return Finish();
    }
    int Finish() {
        if (m_Process.state() != QProcess::NotRunning && !m_Process.waitForFinished(kStartMs)) {
            return -1;
        }
        return m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -1;
    }
    QString Err() { return QString::fromLocal8Bit(m_Process.readAllStandardError()); }
    QString Out() { return QString::fromLocal8Bit(m_Process.readAllStandardOutput()); }

    QProcess m_Process;
};

struct RoundTrip {
    const char* name;
    const char* key;
    const char* stored; // nullptr: absent
    const char* written;
};

class SettingsAcrossRuns : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(SettingsAcrossRuns, AreReadAtStartAndWrittenAtClose) {
    const RoundTrip& c = GetParam();
    CUserDirs dirs;
    if (c.stored != nullptr) {
        dirs.Settings()->setValue(c.key, c.stored);
    }
    CProgram program(dirs, {});
    ASSERT_TRUE(program.WaitUntilRunning(dirs)) << program.Err().toStdString();
    ASSERT_EQ(program.Stop(SIGTERM), 0) << program.Err().toStdString();
    EXPECT_EQ(dirs.Read(c.key).toStdString(), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsAcrossRuns,
    ::testing::Values(
        RoundTrip{"WindowStayOnTop", "WindowPos/WindowPos", "32768:1:0:0:0:0:100:100:420:300",
                  "32768:1:0:0:0:0:100:100:420:300"},
        RoundTrip{"WindowHexMaximised", "WindowPos/WindowPos", "0x8002:3:0:0:0:0:0:0:400:300",
                  "32770:3:0:0:0:0:0:0:400:300"},
        RoundTrip{"WindowOctal", "WindowPos/WindowPos", "0:1:0:0:0:0:0144:0144:0644:0454",
                  "0:1:0:0:0:0:100:100:420:300"},
        RoundTrip{"PortKept", "Settings/Strings/m_ActivePortName", "/dev/ttyFOO7", "/dev/ttyFOO7"},
        RoundTrip{"BaudDecimal", "Settings/Ints/m_ComBaudrateIndex", "9", "9"},
        RoundTrip{"BaudHex", "Settings/Ints/m_ComBaudrateIndex", "0x3", "3"},
        RoundTrip{"BaudNotANumber", "Settings/Ints/m_ComBaudrateIndex", "COM3", "0"},
        RoundTrip{"BaudAbsent", "Settings/Ints/m_ComBaudrateIndex", nullptr, "0"},
        RoundTrip{"MissingLastFileForgotten", "FilePaths/g_ProjectFilePath", "/no/such/firmware.hex", ""}),
    CaseName<RoundTrip>);

TEST(SettingsAcrossRunsFiles, LastFileIsReloadedAndRecentFilesKept) {
    CUserDirs dirs;
    const auto app = firmware::Application(0x2000, firmware::kSam7Word, 0);
    const std::string file = firmware::Write(dirs.m_Dir, "last.hex", app, true);
    const std::string other = firmware::Write(dirs.m_Dir, "other.bin", app, false);
    {
        auto settings = dirs.Settings();
        settings->setValue("FilePaths/g_ProjectFilePath", QString::fromStdString(file));
        settings->setValue("Recent File List/File1", QString::fromStdString(file));
        settings->setValue("Recent File List/File2", "/gone/old.hex");
    }
    // Opening a file named on the command line puts it first in the recent files.
    CProgram program(dirs, {QString::fromStdString(other)});
    ASSERT_TRUE(program.WaitUntilRunning(dirs));
    ASSERT_EQ(program.Stop(SIGTERM), 0) << program.Err().toStdString();
    EXPECT_EQ(dirs.Read("FilePaths/g_ProjectFilePath").toStdString(), other);
    EXPECT_EQ(dirs.Read("Recent File List/File1").toStdString(), other);
    EXPECT_EQ(dirs.Read("Recent File List/File2").toStdString(), file);
    EXPECT_EQ(dirs.Read("Recent File List/File3").toStdString(), "/gone/old.hex");

    // The next start without a file reloads the last one and keeps it.
    CProgram again(dirs, {});
    ASSERT_TRUE(again.WaitUntilRunning(dirs));
    ASSERT_EQ(again.Stop(SIGTERM), 0);
    EXPECT_EQ(dirs.Read("FilePaths/g_ProjectFilePath").toStdString(), other);
}

class StopSignal : public ::testing::TestWithParam<int> {};

TEST_P(StopSignal, ClosesLikeFileExitAndWritesTheSettings) {
    CUserDirs dirs;
    dirs.Settings()->setValue("Settings/Strings/m_ActivePortName", "/dev/ttyBAR1");
    CProgram program(dirs, {});
    ASSERT_TRUE(program.WaitUntilRunning(dirs));
    EXPECT_EQ(program.Stop(GetParam()), 0);
    EXPECT_FALSE(dirs.Read("WindowPos/WindowPos").isEmpty());
    EXPECT_EQ(dirs.Read("Settings/Ints/m_ComBaudrateIndex"), "0");
    EXPECT_EQ(dirs.Read("Settings/Strings/m_ActivePortName"), "/dev/ttyBAR1");
    EXPECT_FALSE(QFileInfo::exists(dirs.SocketPath())) << "the socket is removed at exit";
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(BrokenSettings, ACorruptFileStillStartsWithDefaults) {
    CUserDirs dirs;
    QFileInfo(dirs.SettingsFile()).dir().mkpath(".");
    QFile file(dirs.SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\x00\xff[[[WindowPos\n=\x01\x02garbage\n[Settings\nInts\\m_ComBaudrateIndex", 62));
    file.close();
    CProgram program(dirs, {});
    ASSERT_TRUE(program.WaitUntilRunning(dirs)) << program.Err().toStdString();
    ASSERT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_EQ(dirs.Read("Settings/Ints/m_ComBaudrateIndex"), "0");
    EXPECT_FALSE(dirs.Read("WindowPos/WindowPos").isEmpty());
    QFile kept(dirs.SettingsFile() + ".bad");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << "the unreadable file is kept aside";
    EXPECT_TRUE(kept.readAll().contains("garbage"));
    EXPECT_TRUE(program.Err().contains("could not be read")) << program.Err().toStdString();
}

TEST(BrokenSettings, AnUnwritableFileIsReportedOnce) {
    CUserDirs dirs;
    QDir().mkpath(dirs.SettingsFile()); // a folder where the file should be: neither read nor written
    CProgram program(dirs, {});
    ASSERT_TRUE(program.WaitUntilRunning(dirs));
    ASSERT_EQ(program.Stop(SIGTERM), 0);
    const QString err = program.Err();
    EXPECT_EQ(err.count(QStringLiteral("will not be remembered")), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(dirs.SettingsFile())) << err.toStdString();
}

TEST(SingleInstance, ASecondCopyEndsAtOnceWithoutTouchingTheSettings) {
    CUserDirs dirs;
    dirs.Settings()->setValue("Settings/Strings/m_ActivePortName", "/dev/ttyFIRST");
    CProgram first(dirs, {});
    ASSERT_TRUE(first.WaitUntilRunning(dirs));
    QFile before(dirs.SettingsFile());
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray settingsBefore = before.readAll();

    const auto app = firmware::Application(0x2000, firmware::kSam7Word, 0);
    const std::string file = firmware::Write(dirs.m_Dir, "second.hex", app, true);
    CProgram second(dirs, {QString::fromStdString(file)});
    EXPECT_EQ(second.Finish(), 0);
    EXPECT_EQ(first.m_Process.state(), QProcess::Running);
    QFile after(dirs.SettingsFile());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), settingsBefore);

    ASSERT_EQ(first.Stop(SIGTERM), 0);
    EXPECT_NE(dirs.Read("FilePaths/g_ProjectFilePath").toStdString(), file)
        << "the second copy opened nothing";
}

// The first copy here is this test's own window; the second is the real program.
TEST(SingleInstance, ASecondCopyRaisesTheFirstWindowAndItsDialog) {
    CUserDirs dirs;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", dirs.Run().toLocal8Bit());
    brenwick::app::CSingleInstance instance(QStringLiteral("brenwick"));
    ASSERT_TRUE(instance.Acquire());
    CAppRig rig({}, false);
    rig.Open();
    QObject::connect(&instance, &brenwick::app::CSingleInstance::RaiseRequested, rig.m_Frame.get(),
                     &brenwick::app::CMainFrame::RaiseForAnotherCopy);
    rig.m_Frame->showMinimized();
    ASSERT_TRUE(PumpUntil([&] { return rig.m_Frame->isMinimized(); }, 2000));
    QDialog dialog(rig.m_Frame.get());
    dialog.setModal(true);
    dialog.show();

    CProgram second(dirs, {});
    // The second copy ends by itself; this loop keeps serving the socket meanwhile.
    ASSERT_TRUE(PumpUntil([&] { return second.m_Process.state() == QProcess::NotRunning; }, kStartMs));
    EXPECT_EQ(second.Finish(), 0);
    EXPECT_TRUE(PumpUntil([&] { return !rig.m_Frame->isMinimized(); }, 3000))
        << "the first window stayed minimised";
    EXPECT_TRUE(rig.m_Frame->isVisible());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(QFileInfo::exists(dirs.SettingsFile())) << "the second copy wrote settings";
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

TEST(DemoMode, RunsOnTheSimulatedDeviceAndLeavesTheStoredPortAndFile) {
    CUserDirs dirs;
    {
        auto settings = dirs.Settings();
        settings->setValue("Settings/Strings/m_ActivePortName", "/dev/ttyMINE");
        settings->setValue("Settings/Ints/m_ComBaudrateIndex", "7");
        settings->setValue("FilePaths/g_ProjectFilePath", "/work/mine.hex");
    }
    CProgram program(dirs, {"--demo"});
    ASSERT_TRUE(program.WaitUntilRunning(dirs)) << program.Err().toStdString();
    ASSERT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_FALSE(program.Err().contains("cannot start")) << program.Err().toStdString();
    EXPECT_EQ(dirs.Read("Settings/Strings/m_ActivePortName"), "/dev/ttyMINE");
    EXPECT_EQ(dirs.Read("Settings/Ints/m_ComBaudrateIndex"), "7");
    EXPECT_EQ(dirs.Read("FilePaths/g_ProjectFilePath"), "/work/mine.hex");
    EXPECT_FALSE(dirs.Read("Recent File List/File1").contains("example"));
}

// The start-up benchmark's hook: one line at the first paint of the panel when asked for, nothing otherwise.
TEST(FirstPaint, IsReportedOnceWhenAskedFor) {
    for (const bool asked : {true, false}) {
        CUserDirs dirs;
        QProcessEnvironment env = dirs.Environment();
        if (asked) {
            env.insert("BRENWICK_REPORT_FIRST_PAINT", "1");
        } else {
            env.remove("BRENWICK_REPORT_FIRST_PAINT");
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(BRENWICK_EXE), {});
        ASSERT_TRUE(process.waitForStarted(kStartMs));
        QString err;
        const QRegularExpression line(QStringLiteral("^first paint [0-9]+$"),
                                      QRegularExpression::MultilineOption);
        // Running (the socket is there) and, when asked, painted; then a little longer for a second line.
        const QString socket = dirs.SocketPath();
        PumpUntil(
            [&] {
                err += QString::fromLocal8Bit(process.readAllStandardError());
                return (QFileInfo::exists(socket) && (!asked || err.contains(line))) ||
                       process.state() == QProcess::NotRunning;
            },
            kStartMs);
        Pump(300);
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        ASSERT_TRUE(process.waitForFinished(kStartMs));
        err += QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 0) << err.toStdString();
        EXPECT_EQ(err.count(QStringLiteral("first paint")), asked ? 1 : 0) << err.toStdString();
        if (asked) {
            EXPECT_TRUE(err.contains(line)) << err.toStdString();
        }
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
        QProcess process;
        QProcessEnvironment env = dirs.Environment();
        if (!c.withDisplay) {
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
            env.remove("QT_QPA_PLATFORM");
        }
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
