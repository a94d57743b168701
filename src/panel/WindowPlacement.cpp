#include "panel/WindowPlacement.h"

#include "base/ParseInt.h"

namespace brenwick::panel {

std::optional<StoredPlacement> ParseWindowPos(std::string_view text) {
    WindowPlacement p;
    int32_t* const fields[] = {&p.flags, &p.showCmd, &p.minX, &p.minY,  &p.maxX,
                               &p.maxY,  &p.left,    &p.top,  &p.right, &p.bottom};
    size_t at = 0;
    for (int32_t* field : fields) {
        // Every field after the first follows a colon.
        const bool separated = field == fields[0] || (at < text.size() && text[at++] == ':');
        size_t length = 0;
        const auto number = separated ? ParseInt(text.substr(at), &length) : std::nullopt;
        if (!number) {
            return std::nullopt;
        }
        *field = *number;
        at += length;
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

namespace {
const std::string kWindowPos = "WindowPos"; // the section and the value
} // namespace

std::optional<StoredPlacement> LoadWindowPos(ISettingsStore& store) {
    const auto text = store.GetString(kWindowPos, kWindowPos);
    return text && !text->empty() ? ParseWindowPos(*text) : std::nullopt;
}

bool SaveWindowPos(ISettingsStore& store, WindowPlacement placement, bool stayOnTop) {
    return store.PutString(kWindowPos, kWindowPos, FormatWindowPos(placement, stayOnTop));
}

} // namespace brenwick::panel
