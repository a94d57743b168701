#include "app/BoardRow.h"

namespace brenwick::app {

widgets::COLORREF LampOf(station::BoardState state) {
    switch (state) {
    case station::BoardState::Passed:
        return widgets::kLampGreen;
    case station::BoardState::Failed:
        return widgets::kLampRed;
    case station::BoardState::Skipped:
        return widgets::kLampGrey;
    case station::BoardState::Waiting:
    case station::BoardState::Running:
        break;
    }
    return widgets::kLampYellow;
}

BoardRow RowOf(const station::BoardView& board) {
    BoardRow row;
    row.lamp = LampOf(board.state);
    row.state = QString::fromStdString(board.status);
    row.port = QString::fromStdString(board.name);
    if (board.port != board.name) {
        // A by-id name says which board, its folder nothing; the device path is what other tools show.
        row.port = QStringLiteral("%1 (%2)").arg(row.port.section(QLatin1Char('/'), -1),
                                                 QString::fromStdString(board.port));
    }
    row.serial = QString::fromStdString(board.serialNumber);
    row.percent = board.percent;
    row.outcome = QString::fromStdString(board.outcome);
    return row;
}

} // namespace brenwick::app
