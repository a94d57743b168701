#pragma once

#include "image/FileReader.h"
#include "image/LoadResult.h"

#include <cstdint>
#include <span>

// Reads Intel HEX records into the image. Data must be addressed (through extended linear address records)
// into the window 0x100000..0x13FFFF, which maps onto image offsets 0..0x3FFFF; the first record with a
// byte count of 0 ends the file. imageLen is raised to one past the highest offset written.
LoadResult ReadHexRecords(CFileReader& file, std::span<uint8_t> image, int32_t& imageLen);
