// The application object in this process: start-up with a file, File New, opening files (good, bad,
// recent) and what the close writes, with the settings file in a temporary folder.
#include "AppRig.h"
#include "app/AboutDlg.h"
#include "app/CBrenwickApp.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace brenwick::app;

using namespace brenwick;

namespace {

using brenwick::app::AppOptions;
using brenwick::app::CBrenwickApp;

class AppInProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(m_Dir.Root() / "run");
        ::chmod(m_Dir.Path("run").c_str(), 0700);
        m_SavedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_Dir.Path("run")));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(m_Dir.Path("config")));
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", m_SavedRuntime); }

    QString Stored(const QString& key) const {
        return QSettings(QString::fromStdString(m_Dir.Path("config/Veltmark/Brenwick.conf")),
                         QSettings::IniFormat)
            .value(key)
            .toString();
    }
    std::string Firmware(const std::string& name) const {
        return firmware::Write(m_Dir, name, firmware::Application(0x1000, firmware::kSam7Word, 0),
                               name.ends_with(".hex"));
    }

    CTempDir m_Dir;
    QByteArray m_SavedRuntime;
};

TEST_F(AppInProcess, OpensFilesKeepsRecentFilesAndWritesAtClose) {
    const std::string first = Firmware("first.hex");
    const std::string second = Firmware("second.bin");
    const std::string broken = m_Dir.Write("broken.hex", std::string(":zz\n"));
    AppOptions options;
    options.file = first;
    CBrenwickApp app(options);
    ASSERT_TRUE(app.InitInstance());
    auto& frame = *app.MainFrame();
    EXPECT_EQ(app.Document().m_FileLoaded, 1);
    EXPECT_EQ(frame.windowTitle(), "first.hex - Brenwick");
    EXPECT_EQ(app.RecentFiles().Files(), QStringList{QString::fromStdString(first)});

    EXPECT_TRUE(app.OpenDocument(QString::fromStdString(second)));
    EXPECT_EQ(g_ProjectFilePath, second);
    ASSERT_EQ(frame.RecentActions().size(), 2);
    EXPECT_TRUE(frame.RecentActions().front()->text().endsWith(QString::fromStdString(second)));

    // A file that does not load leaves the document without one and the recent files without it.
    EXPECT_FALSE(app.OpenDocument(QString::fromStdString(broken)));
    EXPECT_EQ(app.Document().m_FileLoaded, 0);
    EXPECT_FALSE(app.RecentFiles().Files().contains(QString::fromStdString(broken)));
    EXPECT_EQ(g_ProjectFilePath, second) << "the project path keeps naming the last good file";

    // A recent file opens it again.
    frame.RecentActions().back()->trigger();
    EXPECT_EQ(app.Document().m_FileLoaded, 1);
    EXPECT_EQ(g_ProjectFilePath, first);

    // File New (Ctrl+N) clears the loaded flag and reloads nothing.
    frame.FileNewAction().trigger();
    EXPECT_EQ(app.Document().m_FileLoaded, 0);
    EXPECT_EQ(frame.windowTitle(), "Untitled - Brenwick");
    EXPECT_EQ(frame.FileNewAction().shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(frame.FileOpenAction().shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));

    frame.close();
    EXPECT_EQ(Stored("FilePaths/g_ProjectFilePath").toStdString(), first);
    EXPECT_EQ(Stored("Recent File List/File1").toStdString(), first);
    EXPECT_EQ(Stored("Recent File List/File2").toStdString(), second);
    EXPECT_TRUE(Stored("Recent File List/File3").isEmpty());
    EXPECT_FALSE(Stored("WindowPos/WindowPos").isEmpty());
}

TEST_F(AppInProcess, AFileThatDoesNotLoadAtStartStillOpensTheWindow) {
    AppOptions options;
    options.file = m_Dir.Path("missing.hex");
    CBrenwickApp app(options);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_NE(app.MainFrame(), nullptr);
    EXPECT_TRUE(app.MainFrame()->isVisible());
    EXPECT_EQ(app.Document().m_FileLoaded, 0);
    app.MainFrame()->close();
}

} // namespace

namespace {

TEST_F(AppInProcess, DemoModeGoesOnLineWithTheSimulatedBoard) {
    AppOptions options;
    options.demo = true;
    CBrenwickApp app(options);
    ASSERT_TRUE(app.InitInstance());
    auto& view = app.MainFrame()->View();
    EXPECT_EQ(app.Document().m_FileLoaded, 1);
    EXPECT_TRUE(g_ProjectFilePath.ends_with("sam7-example.hex")) << g_ProjectFilePath;
    EXPECT_TRUE(app.Document().ActivePortName().starts_with("/dev/pts/")) << app.Document().ActivePortName();
    view.OnlineButton().click();
    EXPECT_TRUE(PumpUntil([&] { return view.Status().GetText() == "Connected"; }, 6000))
        << view.Status().GetText().toStdString();
    EXPECT_TRUE(
        view.IdentityLine().text().startsWith("Brenwick Demo Board  (Flash Rev     1  Boot Rev  1.25)"));
    app.MainFrame()->close();
    EXPECT_FALSE(Stored("Settings/Strings/m_ActivePortName").startsWith("/dev/pts/"))
        << "the demo's port was stored";
}

TEST(AboutBox, ShowsTheVersionLine) {
    brenwick::app::CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Brenwick");
    QStringList texts;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("Brenwick Version 1.25")) << texts.join('|').toStdString();
    const auto buttons = about.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.front()->text(), "OK");
    buttons.front()->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

} // namespace
