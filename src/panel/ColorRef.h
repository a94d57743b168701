#pragma once

#include <cstdint>
#include <string>

namespace brenwick::panel {

// Colours travel through the program as 0x00BBGGRR values (red is 0x000000FF), as each window's drawing
// takes them.
using COLORREF = std::uint32_t;

constexpr COLORREF MakeColorRef(int red, int green, int blue) {
    return static_cast<COLORREF>(red & 0xFF) | (static_cast<COLORREF>(green & 0xFF) << 8) |
           (static_cast<COLORREF>(blue & 0xFF) << 16);
}

// The lamp colours the panel uses.
inline constexpr COLORREF kLampRed = 0x000000FF;
inline constexpr COLORREF kLampGreen = 0x0000FF00;
inline constexpr COLORREF kLampYellow = 0x0000FFFF;
inline constexpr COLORREF kLampGrey = 0x00808080;

// The lamp colour in a word ("red", "green", "yellow", "grey"); another colour as "#rrggbb".
std::string LampColorName(COLORREF color);

// The progress fill: red 0, green 255, blue 255.
inline constexpr COLORREF kBarCyan = 0x00FFFF00;

} // namespace brenwick::panel
