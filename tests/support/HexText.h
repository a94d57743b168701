#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Builds Intel HEX text for tests, one record per call, with a correct checksum unless told otherwise.
namespace hex_text {

inline std::string Record(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data,
                          int checksumDelta = 0) {
    char field[16];
    std::string line = ":";
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + (offset & 0xFFu) + type;
    std::snprintf(field, sizeof field, "%02X%04X%02X", static_cast<unsigned>(data.size()), offset, type);
    line += field;
    for (uint8_t b : data) {
        std::snprintf(field, sizeof field, "%02X", b);
        line += field;
        sum += b;
    }
    std::snprintf(field, sizeof field, "%02X",
                  static_cast<unsigned>((0x100 - static_cast<int>(sum & 0xFF) + checksumDelta) & 0xFF));
    return line + field + "\n";
}

inline std::string Data(uint16_t offset, const std::vector<uint8_t>& data, int checksumDelta = 0) {
    return Record(0, offset, data, checksumDelta);
}
inline std::string Upper(uint16_t upper, int checksumDelta = 0) {
    return Record(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)}, checksumDelta);
}
inline std::string End() {
    return ":00000001FF\n";
}

// The application's first word at target 0x104000 with the SAM7 marker (0xE5 in the top byte).
inline std::string Sam7Start() {
    return Upper(0x0010) + Data(0x4000, {0x18, 0xF0, 0x9F, 0xE5});
}

// A whole HEX file for `bytes` placed at target address `address`, 16 data bytes per record.
inline std::string FileFor(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::string text;
    uint32_t upper = 0xFFFFFFFF;
    for (size_t i = 0; i < bytes.size(); i += 16) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        if ((at >> 16) != upper) {
            upper = at >> 16;
            text += Upper(static_cast<uint16_t>(upper));
        }
        const size_t n = bytes.size() - i < 16 ? bytes.size() - i : 16;
        std::vector<uint8_t> chunk(bytes.begin() + static_cast<long>(i),
                                   bytes.begin() + static_cast<long>(i + n));
        // Records must not cross a 64 KiB boundary; split them where they would.
        const uint32_t room = 0x10000 - (at & 0xFFFF);
        if (n > room) {
            text += Data(static_cast<uint16_t>(at), {chunk.begin(), chunk.begin() + room});
            upper = (at + room) >> 16;
            text += Upper(static_cast<uint16_t>(upper));
            text += Data(0, {chunk.begin() + room, chunk.end()});
        } else {
            text += Data(static_cast<uint16_t>(at), chunk);
        }
    }
    return text + End();
}

} // namespace hex_text
