#pragma once

#include "station/ProductionStation.h"
#include "widgets/Colors.h"

#include <QString>

namespace brenwick::app {

// What one row of the production view shows of a board.
struct BoardRow {
    widgets::COLORREF lamp = widgets::kLampYellow;
    QString state;  // "Waiting", "Programming", "OK", ... as the station words it
    QString port;   // the board's name, with the device path when that differs
    QString serial; // the serial number, once the board told it
    int percent = 0;
    QString outcome; // lasting: why it failed, or what it did
};

// The panel's lamp colours: green passed, red failed, grey skipped, yellow while waiting or running.
widgets::COLORREF LampOf(station::BoardState state);
BoardRow RowOf(const station::BoardView& board);

} // namespace brenwick::app
