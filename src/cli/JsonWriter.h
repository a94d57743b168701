#pragma once

#include <cstdint>
#include <memory>
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
    CJsonObject();
    ~CJsonObject();
    CJsonObject(const CJsonObject& other);
    CJsonObject& operator=(const CJsonObject& other);
    CJsonObject(CJsonObject&& other) noexcept;
    CJsonObject& operator=(CJsonObject&& other) noexcept;

    CJsonObject& Text(std::string_view key, std::string_view value);
    CJsonObject& Number(std::string_view key, int64_t value);
    CJsonObject& Real(std::string_view key, double value); // up to 6 significant digits; null when not finite
    CJsonObject& Bool(std::string_view key, bool value);
    CJsonObject& Null(std::string_view key);
    CJsonObject& Array(std::string_view key, const std::vector<CJsonObject>& items);
    std::string Str() const;

  private:
    // The nlohmann/json object, kept out of this header: that library is heavy to compile everywhere.
    struct Document;
    std::unique_ptr<Document> m_Document;
};

// The objects as an array, one a line.
std::string JsonArray(const std::vector<CJsonObject>& items);

} // namespace brenwick::cli
