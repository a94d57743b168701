#pragma once

#include "image/FileReader.h"
#include "image/LoadResult.h"

#include <cstdint>
#include <span>

namespace brenwick {

// Reads Intel HEX records into the image. Data must be addressed (through extended linear address records)
// into the window 0x100000..0x13FFFF, which maps onto image offsets 0..0x3FFFF; the first record with a
// byte count of 0 ends the file. imageLen is raised to one past the highest offset written. An input that is
// not HEX text at all (a device that never ends, a stream of zeros) is refused after a bounded amount of it.
inline constexpr uint64_t kMaxBytesWithoutRecord = uint64_t{4} << 20;
inline constexpr uint64_t kMaxHexBytes = uint64_t{64} << 20;
LoadResult ReadHexRecords(CFileReader& file, std::span<uint8_t> image, int32_t& imageLen);

} // namespace brenwick
