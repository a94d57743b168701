#pragma once

#include "panel/ColorRef.h"
#include "station/ProductionStation.h"

#include <string>
#include <string_view>

namespace brenwick::panel {

// The production list's columns, left to right, the same in every window front end.
enum class ProductionColumn { Port, SerialNumber, Progress, State, Outcome };
inline constexpr int kProductionColumnCount = 5;
std::string_view ProductionHeading(ProductionColumn column);

// One board's line of the production list.
struct ProductionRow {
    std::string port;         // the device's name without its folder: "COM5", "usb-Veltmark_Board_0042-if00"
    std::string serialNumber; // once the device has told it
    std::string progress;     // "42 %"; empty while the board waits
    std::string state;   // "Waiting", what a run is doing ("Programming"), then "Passed", "Failed", "Skipped"
    std::string outcome; // why a run failed, or what it did, until the board's next run
    COLORREF lamp = kLampGrey;
    int percent = 0; // for a drawn bar
};

ProductionRow RowOf(const station::BoardView& board);
// A row's text in one column.
const std::string& CellOf(const ProductionRow& row, ProductionColumn column);

// The lamp of a board, as the panel's lamp says it: grey waiting, yellow programming, green done (passed, or
// already carrying this firmware), red failed.
COLORREF BoardLamp(station::BoardState state);
// "Passed: 3  Failed: 1", with "  Skipped: 2" once a board was left as it was.
std::string CountersText(int passed, int failed, int skipped);

// What the production view says instead of starting when no firmware file is open.
inline constexpr char kNoFirmwareText[] =
    "No firmware file is open: open one (File > Open) and the boards that come are flashed with it";

// Said for as long as the view runs once a run could not be added to the flash log: how many were lost, and
// why the last one was.
std::string FlashLogTroubleText(int lost, const std::string& why);

} // namespace brenwick::panel
