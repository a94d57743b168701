#include "panel/ProductionRows.h"

#include "serial/PortDiscovery.h"

#include <array>

namespace brenwick::panel {

namespace {

constexpr std::array<std::string_view, kProductionColumnCount> kHeadings = {"Port", "Serial number",
                                                                            "Progress", "State", "Outcome"};

// A stable link's name says which board, its folder nothing; a device known by its own path keeps it
// ("/dev/pts/3" would say little as "3"), a Windows device its name without the device prefix.
std::string_view PortText(const station::BoardView& board) {
    const std::string_view name = board.name.empty() ? board.port : board.name;
    const size_t slash = name.find_last_of('/');
    if (name != board.port && !board.port.empty() && slash != std::string_view::npos) {
        return name.substr(slash + 1);
    }
    return serial::WithoutDevicePrefix(name);
}

std::string StateText(const station::BoardView& board) {
    switch (board.state) {
    case station::BoardState::Waiting:
        return "Waiting";
    case station::BoardState::Running:
        return board.status;
    case station::BoardState::Passed:
        return "Passed";
    case station::BoardState::Failed:
        return "Failed";
    case station::BoardState::Skipped:
        return "Skipped";
    }
    return board.status;
}

} // namespace

std::string_view ProductionHeading(ProductionColumn column) {
    return kHeadings.at(static_cast<size_t>(column));
}

ProductionRow RowOf(const station::BoardView& board) {
    ProductionRow row;
    row.port = std::string(PortText(board));
    row.serialNumber = board.serialNumber;
    if (board.state != station::BoardState::Waiting) {
        row.progress = std::to_string(board.percent) + " %";
    }
    row.state = StateText(board);
    row.outcome = board.outcome;
    row.lamp = BoardLamp(board.state);
    row.percent = board.percent;
    return row;
}

const std::string& CellOf(const ProductionRow& row, ProductionColumn column) {
    switch (column) {
    case ProductionColumn::Port:
        return row.port;
    case ProductionColumn::SerialNumber:
        return row.serialNumber;
    case ProductionColumn::Progress:
        return row.progress;
    case ProductionColumn::State:
        return row.state;
    case ProductionColumn::Outcome:
        break;
    }
    return row.outcome;
}

COLORREF BoardLamp(station::BoardState state) {
    switch (state) {
    case station::BoardState::Waiting:
        return kLampGrey;
    case station::BoardState::Running:
        return kLampYellow;
    case station::BoardState::Passed:
    case station::BoardState::Skipped:
        return kLampGreen;
    case station::BoardState::Failed:
        break;
    }
    return kLampRed;
}

std::string CountersText(int passed, int failed, int skipped) {
    std::string text = "Passed: " + std::to_string(passed) + "  Failed: " + std::to_string(failed);
    if (skipped > 0) {
        text += "  Skipped: " + std::to_string(skipped);
    }
    return text;
}

std::string FlashLogTroubleText(int lost, const std::string& why) {
    return "The flash log could not be written (" + std::to_string(lost) + (lost == 1 ? " run" : " runs") +
           " not logged): " + why;
}

} // namespace brenwick::panel
