#pragma once

#include "panel/ColorRef.h"
#include "protocol/ProtocolTypes.h"

#include <cstdint>
#include <string>

namespace brenwick::panel {

// How the panel shows one link state: the status text, the lamp, and whether the two device lines are
// refreshed or cleared. (Whether the bar follows a run is the run's, not the state's: see PanelOutcome.)
struct StatePaint {
    std::string_view text;
    COLORREF lamp;
    const char* lampMeaning; // what the lamp says, for those who do not see its colour
    enum class Lines { Unchanged, Device, Cleared } lines;
};

// The row for `state`; a connected link without a loaded file shows red "File Not Loaded". A value outside
// the table paints like a link that is not connected. A board that answers refreshes both device lines, also
// while it reports a run, so that a panel that goes on line to a board in the middle of one names it.
StatePaint PaintFor(int32_t state, bool fileLoaded);

// The outcomes of a run that the panel keeps until the operator's next action.
inline constexpr StatePaint kProgrammedPaint = {"Programmed", kLampGreen, "programmed",
                                                StatePaint::Lines::Device};
// The board is in a run that this program is not carrying out (it failed, was stopped, or an earlier session
// left it): Start programs it again from the beginning.
inline constexpr StatePaint kNotProgrammedPaint = {"Not Programmed", kLampYellow, "not programmed",
                                                   StatePaint::Lines::Device};

// "%s  (Flash Rev %5.5g  Boot Rev %5.5g)" with the revisions in hundredths.
std::string IdentityText(const std::string& targetName, uint16_t flashRev, uint16_t bootRev);
// "SN=%s Size = %d Page = %d BootLen = %d".
std::string GeometryText(const std::string& serialNumber, int32_t flashSize, int32_t pageSize,
                         int32_t bootLength);

} // namespace brenwick::panel
