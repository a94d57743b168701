// The production list's rows and counters line, shared by both window front ends.
#include "panel/ProductionRows.h"

#include "panel/FlashLogSetting.h"
#include "station/FlashLog.h"
#include "support/MemorySettingsStore.h"

#include <gtest/gtest.h>

using namespace brenwick;
using namespace brenwick::panel;

namespace {

TEST(ProductionRows, EachBoardStateAsARow) {
    using station::BoardState;
    const struct {
        BoardState state;
        const char* name;   // the stable name the station gives
        const char* status; // what a run is doing
        int percent;
        const char* port;
        const char* progress;
        const char* stateText;
        COLORREF lamp;
    } cases[] = {
        {BoardState::Waiting, "COM5", "Waiting", 0, "COM5", "", "Waiting", kLampGrey},
        {BoardState::Running, "/dev/serial/by-id/usb-Veltmark_Board_0042-if00", "Programming", 42,
         "usb-Veltmark_Board_0042-if00", "42 %", "Programming", kLampYellow},
        {BoardState::Passed, "COM12", "OK", 100, "COM12", "100 %", "Passed", kLampGreen},
        {BoardState::Failed, "\\\\.\\COM7", "Programming Error", 17, "COM7", "17 %", "Failed", kLampRed},
        {BoardState::Skipped, "/dev/ttyACM0", "Skipped", 0, "/dev/ttyACM0", "0 %", "Skipped", kLampGreen},
        {BoardState::Failed, "/tmp/bench/by-id/usb-Brenwick_SIM_A-if00", "Programming Error", 3,
         "usb-Brenwick_SIM_A-if00", "3 %", "Failed", kLampRed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stateText);
        station::BoardView board;
        board.name = c.name;
        // A stable link names another device; a device without one is known by its own path.
        board.port =
            std::string_view(c.name).find("by-id") != std::string_view::npos ? "/dev/ttyACM3" : c.name;
        board.serialNumber = "SN42";
        board.state = c.state;
        board.status = c.status;
        board.percent = c.percent;
        board.outcome = "why";
        const ProductionRow row = RowOf(board);
        EXPECT_EQ(CellOf(row, ProductionColumn::Port), c.port);
        EXPECT_EQ(CellOf(row, ProductionColumn::SerialNumber), "SN42");
        EXPECT_EQ(CellOf(row, ProductionColumn::Progress), c.progress);
        EXPECT_EQ(CellOf(row, ProductionColumn::State), c.stateText);
        EXPECT_EQ(CellOf(row, ProductionColumn::Outcome), "why");
        EXPECT_EQ(LampColorName(row.lamp), LampColorName(c.lamp));
        EXPECT_EQ(row.percent, c.percent);
    }
}

TEST(ProductionRows, CountersShowSkippedOnlyOnceThereAreAny) {
    EXPECT_EQ(CountersText(0, 0, 0), "Passed: 0  Failed: 0");
    EXPECT_EQ(CountersText(12, 3, 0), "Passed: 12  Failed: 3");
    EXPECT_EQ(CountersText(12, 3, 1), "Passed: 12  Failed: 3  Skipped: 1");
}

// The windows' flash log: the setting when there is one, none for an empty one, else the user's default.
TEST(FlashLogSetting, TheSettingNamesTheLogOrTurnsItOff) {
    CMemorySettingsStore store;
    EXPECT_EQ(FlashLogPathFrom(store), station::DefaultFlashLogPath());
    ASSERT_TRUE(store.PutString(store_key::kStringsSection, kFlashLogPathName, "/srv/line3/flash-log.jsonl"));
    EXPECT_EQ(FlashLogPathFrom(store), "/srv/line3/flash-log.jsonl");
    ASSERT_TRUE(store.PutString(store_key::kStringsSection, kFlashLogPathName, ""));
    EXPECT_EQ(FlashLogPathFrom(store), "");
}

} // namespace
