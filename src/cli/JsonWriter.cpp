#include "cli/JsonWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace brenwick::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Key(std::string_view key) {
    return std::string(key);
}

} // namespace

std::string JsonQuote(std::string_view text) {
    return Dump(Json(text));
}

struct CJsonObject::Document {
    Json object = Json::object();
};

CJsonObject::CJsonObject() : m_Document(std::make_unique<Document>()) {}
CJsonObject::~CJsonObject() = default;
CJsonObject::CJsonObject(const CJsonObject& other)
    : m_Document(std::make_unique<Document>(*other.m_Document)) {}
CJsonObject& CJsonObject::operator=(const CJsonObject& other) {
    if (this != &other) {
        m_Document = std::make_unique<Document>(*other.m_Document);
    }
    return *this;
}
CJsonObject::CJsonObject(CJsonObject&& other) noexcept = default;
CJsonObject& CJsonObject::operator=(CJsonObject&& other) noexcept = default;

CJsonObject& CJsonObject::Text(std::string_view key, std::string_view value) {
    m_Document->object[Key(key)] = value;
    return *this;
}

CJsonObject& CJsonObject::Number(std::string_view key, int64_t value) {
    m_Document->object[Key(key)] = value;
    return *this;
}

CJsonObject& CJsonObject::Real(std::string_view key, double value) {
    if (!std::isfinite(value)) {
        return Null(key);
    }
    // Six significant digits, as a person reads them; the shortest text of the rounded value is just those.
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    m_Document->object[Key(key)] = std::strtod(text, nullptr);
    return *this;
}

CJsonObject& CJsonObject::Bool(std::string_view key, bool value) {
    m_Document->object[Key(key)] = value;
    return *this;
}

CJsonObject& CJsonObject::Null(std::string_view key) {
    m_Document->object[Key(key)] = nullptr;
    return *this;
}

CJsonObject& CJsonObject::Array(std::string_view key, const std::vector<CJsonObject>& items) {
    Json& array = m_Document->object[Key(key)] = Json::array();
    for (const CJsonObject& item : items) {
        array.push_back(item.m_Document->object);
    }
    return *this;
}

std::string CJsonObject::Str() const {
    return Dump(m_Document->object);
}

std::string JsonArray(const std::vector<CJsonObject>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            out += ",\n ";
        }
        out += items[i].Str();
    }
    return out + "]";
}

} // namespace brenwick::cli
