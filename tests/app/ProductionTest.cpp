// The production view in the real window: boards on simulated devices on ptys are announced to it as a
// device feed would, and each one's flash is checked against the file byte for byte.
#include "AppRig.h"
#include "app/DeviceFeed.h"
#include "app/ProductionView.h"
#include "support/PtyPair.h"
#include "support/TempDir.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <mutex>

using namespace brenwick;
using app::CProductionView;

namespace {

constexpr int kRunMs = 30000;

serial::SerialPortInfo PortOf(const CSimulatedDevice& device) {
    serial::SerialPortInfo port;
    port.path = device.PortPath();
    return port;
}

// The window in production mode with a firmware file loaded (or none), and boards plugged into it.
struct CBench {
    explicit CBench(bool withFile = true) {
        if (withFile) {
            EXPECT_TRUE(rig.LoadFirmware());
        }
        rig.Open();
        EXPECT_TRUE(rig.m_Frame->SetProductionMode(true));
        View().m_RecordEnd = [this](const station::BoardEnd& end, std::string*) {
            recorded.push_back(end.board.serialNumber + " " + station::ResultText(end.result));
            return true;
        };
    }
    CProductionView& View() { return rig.m_Frame->Production(); }

    CSimulatedDevice& Plug(DeviceSimOptions options) {
        boards.push_back(std::make_unique<CSimulatedDevice>(options));
        std::string error;
        EXPECT_TRUE(boards.back()->Start(&error)) << error;
        View().OnAppeared(PortOf(*boards.back()));
        return *boards.back();
    }
    int Row(const CSimulatedDevice& device) { return View().RowOfPort(device.PortPath()); }
    QString Cell(const CSimulatedDevice& device, int column) {
        const int row = Row(device);
        return row < 0 ? QStringLiteral("(no row)") : View().Table().item(row, column)->text();
    }
    QColor Lamp(const CSimulatedDevice& device) {
        const int row = Row(device);
        return row < 0 ? QColor()
                       : View()
                             .Table()
                             .item(row, CProductionView::ColState)
                             ->data(Qt::DecorationRole)
                             .value<QColor>();
    }
    int Percent(const CSimulatedDevice& device) {
        const int row = Row(device);
        return row < 0
                   ? -1
                   : static_cast<QProgressBar*>(View().Table().cellWidget(row, CProductionView::ColProgress))
                         ->value();
    }
    bool WaitForLamp(const CSimulatedDevice& device, widgets::COLORREF lamp) {
        return PumpUntil([&] { return Lamp(device) == widgets::ToQColor(lamp); }, kRunMs);
    }

    std::vector<std::unique_ptr<CSimulatedDevice>> boards; // before the window, which lets go of them first
    CAppRig rig{{}, false};
    std::vector<std::string> recorded;
};

DeviceSimOptions Board(const char* serial, int baud = 0, int nakPage = 0) {
    DeviceSimOptions options;
    options.serial = serial;
    options.baud = baud;
    options.nakPage = nakPage;
    return options;
}

} // namespace

// The classic panel lets go of its port for production mode (the station then programs that very board);
// going back asks while a board is being programmed, and a "no" keeps production mode.
TEST(ProductionMode, SwitchesViewsAndNeverSharesAPort) {
    CAppRig rig(Board("SIM000001"));
    ASSERT_TRUE(rig.LoadFirmware());
    rig.Open();
    ASSERT_TRUE(rig.GoOnline());
    app::CMainFrame& frame = *rig.m_Frame;
    frame.ProductionAction().trigger();
    EXPECT_TRUE(frame.InProduction());
    EXPECT_EQ(frame.centralWidget(), &frame.Production());
    EXPECT_FALSE(rig.m_Doc.IsPortOpen());

    CProductionView& view = frame.Production();
    view.OnAppeared(PortOf(*rig.m_Device));
    EXPECT_TRUE(PumpUntil([&] { return view.Passed() == 1; }, kRunMs))
        << view.Table().item(0, 4)->text().toStdString();
    EXPECT_EQ(rig.m_Device->Flash(), rig.ExpectedFlash());

    // A second, slow board: leaving production mode while it is programmed asks first.
    CSimulatedDevice slow(Board("SIM000002", 9600));
    std::string error;
    ASSERT_TRUE(slow.Start(&error)) << error;
    view.OnAppeared(PortOf(slow));
    ASSERT_TRUE(PumpUntil([&] { return slow.PagesReceived() > 0; }, kRunMs));
    CQuestionAnswerer answer([&] { return view.OpenQuestion(); });
    answer.Answer(false);
    frame.ProductionAction().trigger();
    EXPECT_TRUE(frame.InProduction());
    EXPECT_TRUE(frame.ProductionAction().isChecked());
    EXPECT_TRUE(view.IsTimerRunning());
    answer.Answer(true);
    frame.ProductionAction().trigger();
    EXPECT_EQ(answer.m_Asked.size(), 2);
    EXPECT_FALSE(frame.InProduction());
    EXPECT_EQ(frame.centralWidget(), &frame.View());
    EXPECT_EQ(view.Failed(), 1) << "the stopped run counts as failed";
    EXPECT_FALSE(view.IsTimerRunning());
    EXPECT_EQ(view.Table().rowCount(), 0);
}

// Boards plugged in side by side are each programmed by themselves; one that refuses a page fails alone.
// Every end reaches the flash log's hook, and a board that is unplugged after its run leaves the table.
TEST(ProductionMode, EveryBoardIsProgrammedOnItsOwn) {
    CBench bench;
    const struct {
        DeviceSimOptions options;
        widgets::COLORREF lamp;
        const char* recorded;
    } cases[] = {
        {Board("SIM000001"), widgets::kLampGreen, "SIM000001 OK"},
        {Board("SIM000002", 230400), widgets::kLampGreen, "SIM000002 OK"},
        {Board("SIM000003", 0, 3), widgets::kLampRed, "SIM000003 Programming Error"},
    };
    for (const auto& c : cases) {
        bench.Plug(c.options);
    }
    EXPECT_EQ(bench.View().Table().rowCount(), 3);
    for (size_t k = 0; k < std::size(cases); ++k) {
        CSimulatedDevice& board = *bench.boards[k];
        ASSERT_TRUE(bench.WaitForLamp(board, cases[k].lamp)) << cases[k].recorded;
        EXPECT_EQ(bench.Cell(board, CProductionView::ColSerial).toStdString(), cases[k].options.serial);
        EXPECT_EQ(board.Flash() == bench.rig.ExpectedFlash(), cases[k].lamp == widgets::kLampGreen)
            << cases[k].recorded;
    }
    EXPECT_TRUE(bench.Cell(*bench.boards[2], CProductionView::ColOutcome).contains("page 3"))
        << bench.Cell(*bench.boards[2], CProductionView::ColOutcome).toStdString();
    EXPECT_EQ(bench.Percent(*bench.boards[0]), 100);
    EXPECT_TRUE(PumpUntil([&] { return !bench.View().IsTimerRunning(); }, kRunMs));
    EXPECT_EQ(bench.View().CountsLine().text(), "Passed: 2  Failed: 1");
    std::sort(bench.recorded.begin(), bench.recorded.end());
    EXPECT_EQ(bench.recorded,
              (std::vector<std::string>{cases[0].recorded, cases[1].recorded, cases[2].recorded}));

    bench.View().OnGone(PortOf(*bench.boards[0]));
    EXPECT_EQ(bench.Row(*bench.boards[0]), -1);
    EXPECT_EQ(bench.View().Table().rowCount(), 2);
}

// Without Auto a board waits, untouched, until Start; a flash log that cannot be written is said on the
// status line.
TEST(ProductionMode, WithoutAutoABoardWaitsForStart) {
    CBench bench;
    bench.View().AutoBox().setChecked(false);
    bench.View().m_RecordEnd = [](const station::BoardEnd&, std::string* error) {
        *error = "No space left on device";
        return false;
    };
    CSimulatedDevice& board = bench.Plug(Board("SIM000007"));
    Pump(300);
    EXPECT_EQ(board.ReceivedCount(), 0U);
    EXPECT_EQ(bench.Lamp(board), widgets::ToQColor(widgets::kLampGrey));
    EXPECT_EQ(bench.Cell(board, CProductionView::ColState), "Waiting");
    EXPECT_FALSE(bench.View().IsTimerRunning());
    ASSERT_TRUE(bench.View().StartButton().isEnabled());
    bench.View().StartButton().click();
    ASSERT_TRUE(bench.WaitForLamp(board, widgets::kLampGreen)) << bench.Cell(board, 4).toStdString();
    EXPECT_EQ(board.Flash(), bench.rig.ExpectedFlash());
    const QString status = bench.View().StatusLine().text();
    EXPECT_TRUE(status.contains("No space left on device") && status.contains(board.PortPath().c_str()))
        << status.toStdString();
}

// Without a file nothing starts and the view says why; the boards already plugged in start once a file is
// opened. A board unplugged in the middle of its run keeps its row until the run has ended.
TEST(ProductionMode, NeedsAFileAndKeepsAGoneBoardUntilItsRunEnds) {
    CBench bench(false);
    CSimulatedDevice& board = bench.Plug(Board("SIM000011", 9600));
    EXPECT_TRUE(bench.View().FileLine().text().contains("No firmware file"))
        << bench.View().FileLine().text().toStdString();
    EXPECT_EQ(bench.View().Table().rowCount(), 0);
    EXPECT_FALSE(bench.View().StartButton().isEnabled());

    ASSERT_TRUE(bench.rig.LoadFirmware());
    bench.View().OnFileChanged();
    ASSERT_TRUE(PumpUntil([&] { return board.PagesReceived() > 0; }, kRunMs));
    bench.View().OnGone(PortOf(board));
    EXPECT_EQ(bench.Row(board), 0) << "gone, but its run goes on";
    board.Stop();
    EXPECT_TRUE(PumpUntil([&] { return bench.View().Table().rowCount() == 0; }, kRunMs));
    EXPECT_EQ(bench.View().CountsLine().text(), "Passed: 0  Failed: 1");
}

// The watcher's feed: a board's link that appears and goes in the watched folder reaches the GUI thread as
// Appeared and Gone; its destructor wakes the watching thread rather than waiting out a wait.
TEST(DeviceFeed, HandsTheWatchersEventsToTheGuiThread) {
    CTempDir dir;
    PtyPair pty;
    ASSERT_FALSE(pty.path.empty());
    auto feed = app::MakeWatcherFeed(dir.Root().string());
    QStringList seen;
    QObject::connect(feed.get(), &app::CDeviceFeed::Appeared, [&](const serial::SerialPortInfo& port) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        seen << "+" + QString::fromStdString(port.path);
    });
    QObject::connect(feed.get(), &app::CDeviceFeed::Gone, [&](const serial::SerialPortInfo& port) {
        seen << "-" + QString::fromStdString(port.path);
    });
    const std::filesystem::path link = dir.Root() / "usb-Brenwick_Board-if00";
    std::filesystem::create_symlink(pty.path, link);
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 1; }, 5000));
    std::filesystem::remove(link);
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 2; }, 5000));
    const QString path = QString::fromStdString(std::filesystem::canonical(pty.path).string());
    EXPECT_EQ(seen, (QStringList{"+" + path, "-" + path}));
    feed.reset();
}
