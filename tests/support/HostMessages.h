#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What a host puts on the line, built independently of the simulator's own code, and a firmware image
// stamped the way the host stamps it (length word in the information block, 32-bit byte sum behind the data).
namespace hostmsg {

std::vector<uint8_t> Request(uint16_t code);
std::vector<uint8_t> Request(uint16_t code, uint8_t param);
std::vector<uint8_t> ProgramControl(uint8_t phase, const uint8_t (&productId)[4]);
std::vector<uint8_t> DataItem(uint32_t address, const std::vector<uint8_t>& data);

inline constexpr uint8_t kPrepare = 0;
inline constexpr uint8_t kBegin = 1;
inline constexpr uint8_t kEnd = 2;

inline const std::vector<uint8_t> kEmptyAck = {0x02, 0x00};
inline const std::vector<uint8_t> kPageAccepted = {0x03, 0x60, 0x00};

// A 256 KiB flash picture, 0xFF where nothing was loaded, with the application behind a boot area of 0x4000.
struct StampedImage {
    std::vector<uint8_t> bytes;
    uint32_t flashBase = 0; // target address of offset 0
    uint32_t imageLen = 0;  // end of the data; the sum follows at imageLen .. imageLen + 3
};

// family: 0xE5 (flash at 0x100000, information block at 0) or 0x20 (flash at 0, block at 0x100).
StampedImage MakeStampedImage(uint8_t family, size_t appBytes);

// The DataItems that send [0x4000, imageLen + 4) page by page, whole pages, 0xFF beyond the picture.
std::vector<std::vector<uint8_t>> Pages(const StampedImage& image, size_t pageSize);

} // namespace hostmsg
