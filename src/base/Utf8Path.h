#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace brenwick {

// The program keeps paths as UTF-8 text. Which encoding std::filesystem takes a plain string in is the
// library's choice (on Windows, some take the ANSI code page): these go through char8_t, so that the text
// is UTF-8 with every system and library.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace brenwick
