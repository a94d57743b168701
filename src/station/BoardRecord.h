#pragma once

#include "station/FlashRecord.h"
#include "station/ProductionStation.h"

namespace brenwick::station {

// The flash log's line for a board's run that has ended: who flashed what into which board, where and when,
// and how it went.
FlashRecord RecordOf(const BoardEnd& end);
// Whether a run goes into the flash log: a board only identified and left as it was (already carrying this
// firmware) was not flashed.
inline bool Recorded(const BoardEnd& end) {
    return end.board.state != BoardState::Skipped;
}

} // namespace brenwick::station
