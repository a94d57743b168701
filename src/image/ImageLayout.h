#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace brenwick {

// The firmware image is a fixed picture of the target's flash; these numbers describe where things lie in it.
namespace image_layout {

inline constexpr uint32_t kImageSize = 0x40000;   // 256 KiB
inline constexpr uint32_t kBootAreaSize = 0x4000; // a .bin file is always placed behind it
inline constexpr uint32_t kMaxBinSize = kImageSize - kBootAreaSize;
inline constexpr uint32_t kFamilyByteOffset = kBootAreaSize + 3; // top byte of the application's first word
inline constexpr uint32_t kHexWindowBase = 0x100000;             // HEX data must lie in [base, base + size)
inline constexpr uint32_t kLengthWordOffset = 0x3C;              // in the information block
inline constexpr uint32_t kProductIdOffset = 0x50;               // in the information block
inline constexpr uint32_t kInfoBlockSize = 0x54;                 // up to and including the product ID
inline constexpr uint8_t kFill = 0xFF;                           // erased flash

struct Family {
    uint8_t marker;      // the byte at kFamilyByteOffset
    uint32_t flashBase;  // target address of image offset 0
    uint32_t infoOffset; // information block, behind the boot area
    std::string_view name;
};

// A SAM7 image starts with an ARM-state vector table (load-PC instruction, 0xE5......), a Cortex-M image with
// its initial stack pointer in RAM (0x20......).
inline constexpr Family kFamilies[] = {
    {0xE5, 0x100000, 0x000, "SAM7 (ARM7)"},
    {0x20, 0x000000, 0x100, "Cortex-M"},
};

inline std::optional<Family> FamilyFromMarker(uint8_t marker) {
    for (const Family& f : kFamilies) {
        if (f.marker == marker) {
            return f;
        }
    }
    return std::nullopt;
}

} // namespace image_layout

} // namespace brenwick
