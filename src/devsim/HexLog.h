#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace brenwick {

namespace devsim {

// "<- 04 20 01 00": a message as one line of lower-case hex bytes behind a direction marker.
std::string HexLine(std::string_view marker, std::span<const uint8_t> bytes);

// Writes one line to standard error in a single call, so that lines of different threads do not mix.
void LogLine(const std::string& line);

} // namespace devsim

} // namespace brenwick
