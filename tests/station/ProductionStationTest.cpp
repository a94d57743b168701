// The production station against simulated boards on pseudo-terminals, stepped as a front end steps it.
#include "station/ProductionStation.h"

#include "devsim/SimulatedDevice.h"
#include "support/Firmware.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

namespace brenwick::station {
namespace {

constexpr int kLongWaitMs = 60000;

struct Board {
    std::unique_ptr<CSimulatedDevice> device;
    serial::SerialPortInfo port;
};

Board Plug(const std::string& serial, int nakPage = 0) {
    DeviceSimOptions options;
    options.serial = serial;
    options.nakPage = nakPage;
    Board board{std::make_unique<CSimulatedDevice>(options), {}};
    std::string error;
    EXPECT_TRUE(board.device->Start(&error)) << error;
    board.port.path = board.device->PortPath();
    board.port.byId = "/dev/serial/by-id/usb-Brenwick_" + serial + "-if00";
    board.port.usbId = "0483:5740";
    board.port.product = "Brenwick SIM";
    return board;
}

// Steps the station until nothing runs; every run that ended, in order.
std::vector<BoardEnd> RunOut(CProductionStation& station) {
    std::vector<BoardEnd> ends;
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (auto& end : station.Step()) {
                ends.push_back(std::move(end));
            }
            return !station.Running();
        },
        kLongWaitMs));
    return ends;
}

struct Bench {
    CTempDir dir;
    std::vector<uint8_t> app =
        firmware::Application(0x1801, firmware::kSam7Word, firmware::InfoOffsetFor(firmware::kSam7Word));
    std::string file = firmware::Write(dir, "fw.hex", app, true);
    int hashes = 0;

    StationOptions Options() const {
        StationOptions options;
        options.firmware = file;
        return options;
    }
    CProductionStation::FileHasher Hasher() {
        return [this](const std::string&, std::string* hex, std::string*) {
            ++hashes;
            *hex = "digest";
            return true;
        };
    }
    std::vector<uint8_t> Expected() const {
        return firmware::ExpectedFlash(app, firmware::InfoOffsetFor(firmware::kSam7Word), 0x40000, 256);
    }
};

TEST(ProductionStation, BoardsThatComeAreFlashedOnceEachAndCounted) {
    Bench bench;
    CProductionStation station(bench.Options(), bench.Hasher());
    Board a = Plug("SIM-A");
    Board b = Plug("SIM-B");
    Board refusing = Plug("SIM-R", 2);
    station.OnAppeared(a.port);
    station.OnAppeared(b.port);
    station.OnAppeared(a.port); // told twice: still one board
    station.OnAppeared(refusing.port);
    ASSERT_EQ(station.Boards().size(), 3u);

    const std::vector<BoardEnd> ends = RunOut(station);
    ASSERT_EQ(ends.size(), 3u);
    for (const auto& end : ends) {
        const bool refused = end.device.serialNumber == "SIM-R";
        EXPECT_EQ(end.board.state, refused ? BoardState::Failed : BoardState::Passed) << end.board.outcome;
        EXPECT_EQ(end.result, refused ? SessionResult::DeviceError : SessionResult::Succeeded);
        EXPECT_EQ(end.firmwareSha256, "digest");
        EXPECT_EQ(end.board.serialNumber, end.device.serialNumber);
    }
    EXPECT_TRUE(a.device->Flash() == bench.Expected());
    EXPECT_TRUE(b.device->Flash() == bench.Expected());
    EXPECT_EQ(station.Passed(), 2);
    EXPECT_EQ(station.Failed(), 1);

    // The first board comes back (a new device with the same serial number): identified, left alone.
    station.OnGone(a.port);
    Board again = Plug("SIM-A");
    station.OnAppeared(again.port);
    const std::vector<BoardEnd> second = RunOut(station);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].board.state, BoardState::Skipped);
    EXPECT_EQ(again.device->SessionsEnded(), 0);
    EXPECT_EQ(station.Skipped(), 1);
    // A board that is gone and ended has no row any more; the others keep theirs with their outcome.
    const auto rows = station.Boards();
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_TRUE(std::none_of(rows.begin(), rows.end(),
                             [&](const BoardView& row) { return row.port == a.port.path; }));
}

TEST(ProductionStation, AgainFlashesAKnownBoardAndAutoOffWaitsForStart) {
    Bench bench;
    StationOptions options = bench.Options();
    options.again = true;
    options.autoStart = false;
    CProductionStation station(options, bench.Hasher());
    Board a = Plug("SIM-A");
    station.OnAppeared(a.port);
    EXPECT_FALSE(station.Running());
    ASSERT_EQ(station.Boards().size(), 1u);
    EXPECT_EQ(station.Boards()[0].state, BoardState::Waiting);
    EXPECT_EQ(a.device->ReceivedCount(), 0u); // not opened before Start

    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(station.Start(station.Boards()[0].id));
        EXPECT_FALSE(station.Start(station.Boards()[0].id)); // already running
        const auto ends = RunOut(station);
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].board.state, BoardState::Passed) << ends[0].board.outcome;
    }
    EXPECT_EQ(a.device->SessionsEnded(), 2);
    EXPECT_EQ(station.Passed(), 2);
}

TEST(ProductionStation, AFileThatDoesNotLoadFailsTheBoardWithoutOpeningIt) {
    Bench bench;
    StationOptions options = bench.Options();
    options.firmware = bench.dir.Path("missing.hex");
    CProductionStation station(options, bench.Hasher());
    Board a = Plug("SIM-A");
    station.OnAppeared(a.port);
    const auto ends = station.Step();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].result, SessionResult::LoadFailed);
    EXPECT_NE(ends[0].board.outcome.find("missing.hex"), std::string::npos) << ends[0].board.outcome;
    EXPECT_EQ(a.device->ReceivedCount(), 0u);
    EXPECT_EQ(station.Failed(), 1);
}

TEST(ProductionStation, InterruptEndsEveryRunningBoardAsInterrupted) {
    Bench bench;
    CProductionStation station(bench.Options(), bench.Hasher());
    DeviceSimOptions slow;
    slow.replyDelayMs = 50;
    CSimulatedDevice device(slow);
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;
    serial::SerialPortInfo port;
    port.path = device.PortPath();
    station.OnAppeared(port);
    ASSERT_TRUE(WaitUntil(
        [&] {
            station.Step();
            return device.PagesReceived() > 0;
        },
        kLongWaitMs));
    const auto ends = station.Interrupt();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].result, SessionResult::Interrupted);
    EXPECT_FALSE(station.Running());
    EXPECT_EQ(station.Failed(), 1);
}

struct MatchCase {
    const char* pattern;
    bool matches;
};

TEST(DeviceMatches, PatternsSelectByStableNameUsbIdProductOrPath) {
    serial::SerialPortInfo port;
    port.path = "/dev/ttyACM3";
    port.byId = "/dev/serial/by-id/usb-Veltmark_Brenwick_Board_00A1-if00";
    port.usbId = "0483:5740";
    port.product = "Brenwick Board";
    const MatchCase cases[] = {
        {"", true},
        {"*brenwick*", true},           // stable name, any case
        {"usb-Veltmark_*", true},       // the name without its folder
        {"/dev/serial/by-id/*", false}, // ... so a folder does not match
        {"0483:5740", true},
        {"0483:????", true},
        {"0483:574", false}, // whole texts only
        {"Brenwick Board", true},
        {"/dev/ttyACM?", true},
        {"*modem*", false},
        {"**", true},
        {"*-if0?", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceMatches(c.pattern, port), c.matches) << c.pattern;
    }
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(WildcardMatch("a*b*c", "aXbYbZ"));
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_FALSE(WildcardMatch("?", ""));
}

} // namespace
} // namespace brenwick::station
