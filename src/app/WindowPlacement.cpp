#include "app/WindowPlacement.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace brenwick::app {

std::optional<std::pair<int32_t, size_t>> ScanInt(std::string_view text) {
    const std::string copy(text); // strtol needs a terminated string
    const char* begin = copy.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 0);
    if (end == begin || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return std::pair{static_cast<int32_t>(value), static_cast<size_t>(end - begin)};
}

std::optional<StoredPlacement> ParseWindowPos(std::string_view text) {
    WindowPlacement p;
    int32_t* const fields[] = {&p.flags, &p.showCmd, &p.minX, &p.minY,  &p.maxX,
                               &p.maxY,  &p.left,    &p.top,  &p.right, &p.bottom};
    size_t at = 0;
    bool first = true;
    for (int32_t* field : fields) {
        if (!first) {
            if (at >= text.size() || text[at] != ':') {
                return std::nullopt;
            }
            ++at;
        }
        first = false;
        const auto number = ScanInt(text.substr(at));
        if (!number) {
            return std::nullopt;
        }
        *field = number->first;
        at += number->second;
    }
    StoredPlacement stored;
    stored.stayOnTop = (p.flags & kStayOnTopFlag) != 0;
    p.flags &= ~kStayOnTopFlag;
    stored.placement = p;
    return stored;
}

std::string FormatWindowPos(WindowPlacement placement, bool stayOnTop) {
    placement.flags = stayOnTop ? (placement.flags | kStayOnTopFlag) : (placement.flags & ~kStayOnTopFlag);
    const int32_t fields[] = {placement.flags, placement.showCmd, placement.minX, placement.minY,
                              placement.maxX,  placement.maxY,    placement.left, placement.top,
                              placement.right, placement.bottom};
    std::string text;
    for (const int32_t value : fields) {
        if (!text.empty()) {
            text += ':';
        }
        text += std::to_string(value);
    }
    return text;
}

} // namespace brenwick::app
