#include "devsim/StampCheck.h"

#include "devsim/DeviceFrame.h"

namespace brenwick {

namespace devsim {

namespace {

constexpr uint8_t kArmFamily = 0xE5;    // ARM-state vector table, information block at offset 0
constexpr uint8_t kCortexFamily = 0x20; // Cortex-M vector table, information block at offset 0x100
constexpr uint64_t kLengthWordOffset = 0x3C;

} // namespace

StampVerdict CheckStamp(std::span<const uint8_t> flash, uint32_t bootLength) {
    StampVerdict v;
    const uint64_t size = flash.size();
    const uint64_t boot = bootLength;
    if (boot + 4 > size) {
        return v;
    }
    uint64_t info = 0;
    switch (flash[boot + 3]) {
    case kArmFamily:
        info = 0;
        break;
    case kCortexFamily:
        info = 0x100;
        break;
    default:
        return v;
    }
    v.result = StampResult::LengthOutOfRange;
    const uint64_t lengthAt = boot + info + kLengthWordOffset;
    if (lengthAt + 4 > size) {
        return v;
    }
    v.length = GetU32(flash, lengthAt);
    // The length word itself is part of the summed data, and the sum must fit behind the data.
    if (v.length < lengthAt + 4 || uint64_t{v.length} + 4 > size) {
        return v;
    }
    uint32_t sum = 0;
    for (uint64_t i = boot; i < v.length; ++i) {
        sum += flash[i];
    }
    v.computedSum = sum;
    v.storedSum = GetU32(flash, v.length);
    v.result = sum == v.storedSum ? StampResult::Ok : StampResult::SumMismatch;
    return v;
}

const char* Describe(StampResult result) {
    switch (result) {
    case StampResult::Ok:
        return "image verified";
    case StampResult::UnknownFamily:
        return "no known firmware family behind the boot area";
    case StampResult::LengthOutOfRange:
        return "length word outside the flash";
    case StampResult::SumMismatch:
        return "byte sum does not match";
    }
    return "?";
}

} // namespace devsim

} // namespace brenwick
