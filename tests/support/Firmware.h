#pragma once

#include "support/HexText.h"
#include "support/TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

// Firmware files for the command-line runs, and what a device's flash must hold after one of them was
// programmed, worked out here from the file format and the stamp rules, not by the program under test.
namespace firmware {

inline constexpr uint32_t kSam7Word = 0xE59FF018;
inline constexpr uint32_t kCortexWord = 0x20001000;
inline constexpr size_t kBootLength = 0x4000;
inline constexpr size_t kImageSize = 0x40000;

// An application area of `size` bytes: the family's first word, a product ID at infoOffset + 0x50, and a
// pattern that differs from page to page.
inline std::vector<uint8_t> Application(size_t size, uint32_t firstWord, uint32_t infoOffset,
                                        const std::vector<uint8_t>& productId = {0x5A, 0xFF, 0xA5, 0x00}) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13) ^ 0x5C);
    }
    for (size_t k = 0; k < 4; ++k) {
        bytes[k] = static_cast<uint8_t>(firstWord >> (8 * k));
        if (infoOffset + 0x50 + k < size) {
            bytes[infoOffset + 0x50 + k] = productId[k];
        }
    }
    return bytes;
}

inline uint32_t InfoOffsetFor(uint32_t firstWord) {
    return (firstWord >> 24) == 0x20 ? 0x100 : 0;
}

// Writes the application as a .bin file or as Intel HEX at target 0x104000.
inline std::string Write(const CTempDir& dir, const std::string& name, const std::vector<uint8_t>& app,
                         bool hex) {
    return hex ? dir.Write(name, hex_text::FileFor(0x104000, app)) : dir.Write(name, app);
}

inline void PutWord(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (size_t k = 0; k < 4; ++k) {
        bytes[at + k] = static_cast<uint8_t>(value >> (8 * k));
    }
}

// The whole flash of a device (erased at Prepare) after the application was programmed in pages of pageSize:
// the application behind the boot area, its length word in the information block, the byte sum behind the
// data, and the rest of the last page as erased flash.
inline std::vector<uint8_t> ExpectedFlash(const std::vector<uint8_t>& app, uint32_t infoOffset,
                                          size_t flashSize, size_t pageSize) {
    std::vector<uint8_t> image(kImageSize, 0xFF);
    std::copy(app.begin(), app.end(), image.begin() + static_cast<long>(kBootLength));
    const size_t length = (kBootLength + app.size() + 3) / 4 * 4;
    PutWord(image, kBootLength + infoOffset + 0x3C, static_cast<uint32_t>(length));
    uint32_t sum = 0;
    for (size_t o = kBootLength; o < length; ++o) {
        sum += image[o];
    }
    PutWord(image, length, sum);
    const size_t pages = (length + 4 - kBootLength + pageSize - 1) / pageSize;
    std::vector<uint8_t> flash(flashSize, 0xFF);
    for (size_t o = kBootLength; o < kBootLength + pages * pageSize && o < flashSize && o < kImageSize; ++o) {
        flash[o] = image[o];
    }
    return flash;
}

} // namespace firmware
