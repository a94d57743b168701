#include "cli/JsonWriter.h"

#include <cmath>
#include <cstdio>

namespace brenwick::cli {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when it is not one.
size_t Utf8Length(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t minimum = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0u) != 0x80u) {
            return 0;
        }
        code = (code << 6) | (next & 0x3Fu);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= minimum && code <= 0x10FFFF && !surrogate ? length : 0;
}

} // namespace

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const size_t length = Utf8Length(text, i); length > 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\\ufffd";
            ++i;
        }
    }
    return out + "\"";
}

CJsonObject& CJsonObject::Text(std::string_view key, std::string_view value) {
    return Raw(key, JsonQuote(value));
}

CJsonObject& CJsonObject::Number(std::string_view key, int64_t value) {
    return Raw(key, std::to_string(value));
}

CJsonObject& CJsonObject::Real(std::string_view key, double value) {
    if (!std::isfinite(value)) {
        return Null(key);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return Raw(key, text);
}

CJsonObject& CJsonObject::Bool(std::string_view key, bool value) {
    return Raw(key, value ? "true" : "false");
}

CJsonObject& CJsonObject::Null(std::string_view key) {
    return Raw(key, "null");
}

CJsonObject& CJsonObject::Raw(std::string_view key, std::string json) {
    m_Members.push_back(JsonQuote(key) + ": " + std::move(json));
    return *this;
}

std::string CJsonObject::Str() const {
    std::string out = "{";
    for (size_t i = 0; i < m_Members.size(); ++i) {
        out += (i == 0 ? "" : ", ") + m_Members[i];
    }
    return out + "}";
}

std::string JsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i == 0 ? "" : ",\n ") + items[i];
    }
    return out + "]";
}

} // namespace brenwick::cli
