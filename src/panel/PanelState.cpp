#include "panel/PanelState.h"

#include <array>
#include <cstdio>
#include <vector>

namespace brenwick::panel {

namespace {

using Lines = StatePaint::Lines;

// Indexed by the link state's number.
constexpr std::array<StatePaint, 6> kPaint = {{
    {protocol::LinkStateText(LinkState::Connected), kLampGreen, "connected", Lines::Device},
    {protocol::LinkStateText(LinkState::PortOpenFailed), kLampRed, "port failed to open", Lines::Unchanged},
    {protocol::LinkStateText(LinkState::NotConnected), kLampRed, "not connected", Lines::Unchanged},
    {protocol::LinkStateText(LinkState::OffLine), kLampGrey, "off line", Lines::Cleared},
    {protocol::LinkStateText(LinkState::Programming), kLampYellow, "programming", Lines::Device},
    {protocol::LinkStateText(LinkState::ProgrammingError), kLampYellow, "programming failed", Lines::Device},
}};
constexpr StatePaint kFileNotLoaded = {"File Not Loaded", kLampRed, "no firmware file loaded", Lines::Device};

template <class... Args>
std::string Format(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) {
        return {};
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::snprintf(buffer.data(), buffer.size(), format, args...);
    return std::string(buffer.data(), static_cast<size_t>(length));
}

} // namespace

StatePaint PaintFor(int32_t state, bool fileLoaded) {
    if (state == static_cast<int32_t>(LinkState::Connected) && !fileLoaded) {
        return kFileNotLoaded;
    }
    if (state < 0 || state >= static_cast<int32_t>(kPaint.size())) {
        return kPaint[static_cast<size_t>(LinkState::NotConnected)];
    }
    return kPaint[static_cast<size_t>(state)];
}

std::string IdentityText(const std::string& targetName, uint16_t flashRev, uint16_t bootRev) {
    return Format("%s  (Flash Rev %5.5g  Boot Rev %5.5g)", targetName.c_str(), flashRev * 0.01,
                  bootRev * 0.01);
}

std::string GeometryText(const std::string& serialNumber, int32_t flashSize, int32_t pageSize,
                         int32_t bootLength) {
    return Format("SN=%s Size = %d Page = %d BootLen = %d", serialNumber.c_str(), flashSize, pageSize,
                  bootLength);
}

} // namespace brenwick::panel
