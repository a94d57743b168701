#include "devsim/DeviceSimOptions.h"

namespace brenwick {

namespace devsim {

bool ValidateOptions(const DeviceSimOptions& o, std::string* error) {
    auto fail = [error](std::string text) {
        if (error) {
            *error = std::move(text);
        }
        return false;
    };
    if (o.flashSize < 1 || o.flashSize > kMaxFlashSize) {
        return fail("flash size must be between 1 and " + std::to_string(kMaxFlashSize) + " bytes");
    }
    if (o.pageSize < 1 || o.pageSize > kMaxPageSize) {
        return fail("page size must be between 1 and " + std::to_string(kMaxPageSize) + " bytes");
    }
    if (o.bootLength < 0 || o.bootLength >= o.flashSize) {
        return fail("boot length must be at least 0 and smaller than the flash size");
    }
    if (o.name.size() > kMaxTextLength || o.serial.size() > kMaxTextLength) {
        return fail("name and serial number may have at most " + std::to_string(kMaxTextLength) +
                    " characters");
    }
    if (o.nakPage < 0 || o.hangUpPage < 0) {
        return fail("page numbers count from 1 (0 = off)");
    }
    if (o.quietAfterEndMs < 0 || o.quietAfterEndMs > kMaxReplyDelayMs) {
        return fail("quiet time after End must be between 0 and " + std::to_string(kMaxReplyDelayMs) + " ms");
    }
    if (o.replyDelayMs < 0 || o.replyDelayMs > kMaxReplyDelayMs) {
        return fail("reply delay must be between 0 and " + std::to_string(kMaxReplyDelayMs) + " ms");
    }
    if (o.baud != 0 && (o.baud < kMinBaud || o.baud > kMaxBaud)) {
        return fail("baud rate must be 0 (unpaced) or between " + std::to_string(kMinBaud) + " and " +
                    std::to_string(kMaxBaud));
    }
    return true;
}

} // namespace devsim

} // namespace brenwick
