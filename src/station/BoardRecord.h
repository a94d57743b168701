#pragma once

#include "station/FlashRecord.h"
#include "station/ProductionStation.h"

namespace brenwick::station {

// The flash log's line for a board's run that has ended: who flashed what into which board, where and when,
// and how it went.
FlashRecord RecordOf(const BoardEnd& end);

} // namespace brenwick::station
