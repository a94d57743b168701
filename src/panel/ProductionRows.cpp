#include "panel/ProductionRows.h"

#include <array>

namespace brenwick::panel {

namespace {

constexpr std::array<std::string_view, kProductionColumnCount> kHeadings = {"Port", "Serial number",
                                                                            "Progress", "State", "Outcome"};

std::string_view LastPart(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
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
    row.port = std::string(LastPart(board.name.empty() ? board.port : board.name));
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
