#pragma once

#include <ctime>
#include <string>

namespace brenwick::panel {

// The clock's line for a broken-down time, with the English names of the "C" locale whatever the user's
// locale, and day and hour without leading zeros:
//   local: " Sun 6 Dec 2026  12:44:32 AM "
//   UTC:   " 6 Dec 2026  0:44:32 UTC "
std::string FormatLocalClockText(const std::tm& local);
std::string FormatUtcClockText(const std::tm& utc);

// Converts `seconds` since 1970 to local time or UTC and formats it as above; an unrepresentable time gives
// an empty line.
std::string FormatClockText(std::time_t seconds, bool localTime);

// The clock's font cell height for a control `controlHeight` pixels high: 90 %, truncated.
int ClockFontCellHeight(int controlHeight);

} // namespace brenwick::panel
