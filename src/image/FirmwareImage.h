#pragma once

#include "image/FileReader.h"
#include "image/ImageLayout.h"
#include "image/LoadResult.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace brenwick {

// What a stamp wrote into an image: the length word and the byte sum behind the data.
struct StampFacts {
    int32_t length = 0;
    uint32_t sum = 0;
};

// One firmware image: a fixed 256 KiB picture of the target's flash, read from an Intel HEX or raw .bin file,
// with its family recognised from the application's first word and, once the device's boot area is known,
// stamped with its length and a 32-bit byte sum.
class CFirmwareImage {
  public:
    CFirmwareImage();

    // Reads path into the image. The file's name decides the reader: it must end in "hex" or "bin" (any case,
    // no dot needed). A pipe has no name of its own, so "-" (standard input) and a FIFO whose name ends in
    // neither are read as Intel HEX. On failure m_ImageLen is 0; bytes read before the failure stay in the
    // buffer. limits bound how long a pipe or device may keep the load waiting.
    LoadResult Load(const std::string& path, const ReadLimits& limits = {});

    // Writes the length word into the information block behind the boot area and the byte sum of
    // [bootLength, m_ImageLen) just behind the data. Refuses when the boot area covers the whole image or
    // when the sum or the information block would not fit the buffer; the image bytes are then left alone
    // but the load counts as failed: m_ImageLen and m_InfoOffset go to 0 and m_FlashBase back to the value
    // it had before the load.
    LoadResult Stamp(int32_t bootLength);

    // The four product ID bytes of the information block for a boot area of bootLength bytes; bytes that
    // would lie outside the buffer read as erased flash (0xFF).
    std::array<uint8_t, 4> ProductId(int32_t bootLength) const;

    // Byte at an image offset, or 0xFF for any offset outside the buffer.
    uint8_t ByteAt(int64_t offset) const;
    uint32_t WordAt(int64_t offset) const; // little-endian, bytes outside the buffer as 0xFF

    std::span<const uint8_t> Bytes() const { return m_Image; }
    // The stamp of the last load that was stamped (meaningless after one that was not).
    StampFacts Stamped() const { return {m_ImageLen, WordAt(m_ImageLen)}; }

    std::vector<uint8_t> m_Image; // image offset o holds the byte for target address m_FlashBase + o
    int32_t m_ImageLen = 0;       // end of the loaded data, a multiple of 4; 0 when no load succeeded
    uint32_t m_FlashBase = 0x100000;
    uint32_t m_InfoOffset = 0;

  private:
    LoadResult ReadBin(CFileReader& file, int32_t& length);
    LoadResult Refuse(LoadResult why);

    uint32_t m_FlashBaseBefore = m_FlashBase; // of the last successful load, for a stamp that refuses it
};

} // namespace brenwick
