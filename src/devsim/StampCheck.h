#pragma once

#include <cstdint>
#include <span>

namespace brenwick {

namespace devsim {

enum class StampResult { Ok, UnknownFamily, LengthOutOfRange, SumMismatch };

struct StampVerdict {
    StampResult result = StampResult::UnknownFamily;
    uint32_t length = 0;      // the length word found in the information block
    uint32_t storedSum = 0;   // the word just behind the data
    uint32_t computedSum = 0; // the byte sum of [bootLength, length)
};

// Checks a programmed flash the way the boot loader does at End: the family byte of the application's first
// word picks the information block, whose length word must lie behind it and leave room for the 32-bit byte
// sum inside the flash; the sum of the bytes from the end of the boot area up to the length must equal the
// word stored at the length.
StampVerdict CheckStamp(std::span<const uint8_t> flash, uint32_t bootLength);

const char* Describe(StampResult result);

} // namespace devsim

} // namespace brenwick
