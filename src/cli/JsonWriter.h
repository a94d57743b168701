#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brenwick::cli {

// Builds the small JSON documents of --json output. Texts from the device or the file system may hold any
// bytes: they are escaped, and bytes that are not valid UTF-8 become U+FFFD, so the output always parses.
std::string JsonQuote(std::string_view text);

class CJsonObject {
  public:
    CJsonObject& Text(std::string_view key, std::string_view value);
    CJsonObject& Number(std::string_view key, int64_t value);
    CJsonObject& Real(std::string_view key, double value); // finite values; written with up to 6 digits
    CJsonObject& Bool(std::string_view key, bool value);
    CJsonObject& Null(std::string_view key);
    CJsonObject& Raw(std::string_view key, std::string json); // a nested object or array, already JSON
    std::string Str() const;

  private:
    std::vector<std::string> m_Members;
};

std::string JsonArray(const std::vector<std::string>& items);

} // namespace brenwick::cli
