#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace brenwick::cli {

// Builds the small JSON documents of --json output with nlohmann/json, members in the order they are added.
// Texts from the device or the file system may hold any bytes: bytes that are not valid UTF-8 become U+FFFD,
// so the output always parses.
std::string JsonQuote(std::string_view text);

class CJsonObject {
  public:
    CJsonObject& Text(std::string_view key, std::string_view value);
    CJsonObject& Number(std::string_view key, int64_t value);
    CJsonObject& Real(std::string_view key, double value); // up to 6 significant digits; null when not finite
    CJsonObject& Bool(std::string_view key, bool value);
    CJsonObject& Null(std::string_view key);
    CJsonObject& Array(std::string_view key, const std::vector<CJsonObject>& items);
    std::string Str() const;

  private:
    friend std::string JsonArray(const std::vector<CJsonObject>& items);
    nlohmann::ordered_json m_Object = nlohmann::ordered_json::object();
};

// The objects as an array, one a line.
std::string JsonArray(const std::vector<CJsonObject>& items);

} // namespace brenwick::cli
