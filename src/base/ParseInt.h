#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace brenwick {

// One "%i" number at the start of `text`: optional white space and sign, then decimal, hexadecimal after "0x"
// or octal after a leading "0". Whatever follows is left alone; *length, when asked for, says where it
// starts. Nothing when no number converts or it does not fit 32 bits.
inline std::optional<int32_t> ParseInt(std::string_view text, size_t* length = nullptr) {
    const std::string copy(text); // strtoll needs a terminated string
    const char* begin = copy.c_str();
    char* end = nullptr;
    // Read wider than the result, so that a number beyond 32 bits is seen as such; one beyond 64 comes back
    // clamped to the long long limits, which fail the same check.
    const long long value = std::strtoll(begin, &end, 0);
    if (end == begin || value != static_cast<int32_t>(value)) {
        return std::nullopt;
    }
    if (length != nullptr) {
        *length = static_cast<size_t>(end - begin);
    }
    return static_cast<int32_t>(value);
}

} // namespace brenwick
