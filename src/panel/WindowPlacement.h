#pragma once

#include "document/SettingsStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brenwick::panel {

// The window placement as the settings keep it: ten integers, in this order.
struct WindowPlacement {
    int32_t flags = 0;
    int32_t showCmd = 0;
    int32_t minX = 0;
    int32_t minY = 0;
    int32_t maxX = 0;
    int32_t maxY = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

inline constexpr int32_t kStayOnTopFlag = 0x8000;      // the frame's own bit in the stored flags
inline constexpr int32_t kRestoreToMaximized = 0x0002; // closed while maximised

// Show commands the placement carries.
inline constexpr int32_t kShowHide = 0;
inline constexpr int32_t kShowNormal = 1;
inline constexpr int32_t kShowMinimized = 2;
inline constexpr int32_t kShowMaximized = 3;
inline constexpr int32_t kMinimize = 6;
inline constexpr int32_t kShowMinNoActive = 7;

struct StoredPlacement {
    WindowPlacement placement; // flags without the Stay On Top bit
    bool stayOnTop = false;
};

// Reads the "WindowPos" text: ten "%i" fields (decimal, 0x hexadecimal or leading-0 octal, optional sign)
// separated by colons; anything after the tenth is ignored. Nothing unless all ten convert.
std::optional<StoredPlacement> ParseWindowPos(std::string_view text);

// The "WindowPos" text for a placement, with the Stay On Top state in bit 15 of the flags.
std::string FormatWindowPos(WindowPlacement placement, bool stayOnTop);

// The stored placement, from "WindowPos"/"WindowPos" of the settings; nothing when it is absent or has fewer
// than ten numbers (then nothing of it is used, Stay On Top included).
std::optional<StoredPlacement> LoadWindowPos(ISettingsStore& store);
bool SaveWindowPos(ISettingsStore& store, WindowPlacement placement, bool stayOnTop);

} // namespace brenwick::panel
