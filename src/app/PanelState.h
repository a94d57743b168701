#pragma once

#include "panel/Colors.h"
#include "protocol/ProtocolTypes.h"

#include <cstdint>
#include <string>

namespace brenwick::app {

// How the panel shows one link state: the status text, the lamp, whether the two device lines are
// refreshed or cleared, and whether the progress follows the programming run.
struct StatePaint {
    const char* text;
    panel::COLORREF lamp;
    const char* lampMeaning; // what the lamp says, for those who do not see its colour
    enum class Lines { Unchanged, Device, Cleared } lines;
    bool showsProgress;
    bool repaintsEveryTick; // shown as its complement, so that every tick paints it again
};

// The row for `state`; a connected link without a loaded file shows red "File Not Loaded". A value outside
// the table paints like a link that is not connected.
StatePaint PaintFor(int32_t state, bool fileLoaded);

// "%s  (Flash Rev %5.5g  Boot Rev %5.5g)" with the revisions in hundredths.
std::string IdentityText(const std::string& targetName, uint16_t flashRev, uint16_t bootRev);
// "SN=%s Size = %d Page = %d BootLen = %d".
std::string GeometryText(const std::string& serialNumber, int32_t flashSize, int32_t pageSize,
                         int32_t bootLength);

} // namespace brenwick::app
