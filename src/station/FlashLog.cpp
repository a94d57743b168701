#include "station/FlashLog.h"

#include "base/Utf8Path.h"
#include "station/StationSystem.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <variant>

namespace brenwick::station {

namespace {

using Json = nlohmann::ordered_json;

// The log's fields in the order of its lines; writing, reading and the CSV columns all go by this table.
using Member = std::variant<std::string FlashRecord::*, int64_t FlashRecord::*, uint32_t FlashRecord::*,
                            bool FlashRecord::*, double FlashRecord::*>;
struct Field {
    const char* key;
    Member member;
};
const Field kFields[] = {
    {"time", &FlashRecord::time},
    {"station", &FlashRecord::station},
    {"operator", &FlashRecord::operatorName},
    {"port", &FlashRecord::port},
    {"device", &FlashRecord::device},
    {"serial_number", &FlashRecord::serialNumber},
    {"product_id", &FlashRecord::productId},
    {"boot_revision", &FlashRecord::bootRevision},
    {"flash_revision", &FlashRecord::flashRevision},
    {"firmware", &FlashRecord::firmware},
    {"sha256", &FlashRecord::sha256},
    {"stamped_length", &FlashRecord::stampedLength},
    {"stamped_sum", &FlashRecord::stampedSum},
    {"passed", &FlashRecord::passed},
    {"result", &FlashRecord::result},
    {"reason", &FlashRecord::reason},
    {"bytes_sent", &FlashRecord::bytesSent},
    {"seconds", &FlashRecord::seconds},
    {"version", &FlashRecord::version},
};

// Milliseconds are all a run's duration needs, and keep the line short.
Json Value(double seconds) {
    return std::isfinite(seconds) ? Json(std::round(seconds * 1000) / 1000) : Json(nullptr);
}
template <class T>
Json Value(const T& value) {
    return Json(value);
}

std::string Dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Takes the value of a known key into the record when it has the member's type.
bool Take(const Json& value, std::string* member) {
    if (value.is_string()) {
        *member = value.get<std::string>();
    }
    return value.is_string();
}
bool Take(const Json& value, int64_t* member) {
    const bool fits =
        value.is_number_integer() && (!value.is_number_unsigned() ||
                                      value.get<uint64_t>() <= uint64_t{std::numeric_limits<int64_t>::max()});
    if (fits) {
        *member = value.get<int64_t>();
    }
    return fits;
}
bool Take(const Json& value, uint32_t* member) {
    const bool fits =
        value.is_number_unsigned() && value.get<uint64_t>() <= std::numeric_limits<uint32_t>::max();
    if (fits) {
        *member = static_cast<uint32_t>(value.get<uint64_t>());
    }
    return fits;
}
bool Take(const Json& value, bool* member) {
    if (value.is_boolean()) {
        *member = value.get<bool>();
    }
    return value.is_boolean();
}
bool Take(const Json& value, double* member) {
    if (value.is_number()) {
        *member = value.get<double>();
    }
    return value.is_number();
}

const char* TypeName(const Member& member) {
    constexpr const char* kNames[] = {"a string", "an integer", "an unsigned 32-bit integer", "true or false",
                                      "a number"};
    return kNames[member.index()];
}

bool SetError(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// A line this long is no record: it is not kept in memory while the rest of it is read.
constexpr size_t kLongestLine = size_t{1} << 20;

} // namespace

std::string FlashRecordJson(const FlashRecord& record) {
    Json object = Json::object();
    for (const Field& field : kFields) {
        std::visit([&](auto member) { object[field.key] = Value(record.*member); }, field.member);
    }
    return Dump(object);
}

std::optional<FlashRecord> ParseFlashRecord(std::string_view line, std::string* error) {
    Json json;
    try {
        json = Json::parse(line);
    } catch (const Json::parse_error& e) {
        SetError(error, "not JSON (error at byte " + std::to_string(e.byte) + ")");
        return std::nullopt;
    }
    if (!json.is_object()) {
        SetError(error, "not a JSON object");
        return std::nullopt;
    }
    FlashRecord record;
    for (const Field& field : kFields) {
        const auto value = json.find(field.key);
        if (value == json.end() || value->is_null()) {
            continue;
        }
        const bool taken =
            std::visit([&](auto member) { return Take(*value, &(record.*member)); }, field.member);
        if (!taken) {
            SetError(error, std::string("\"") + field.key + "\" is not " + TypeName(field.member));
            return std::nullopt;
        }
    }
    return record;
}

std::vector<std::pair<std::string, std::string>> FlashRecordFields(const FlashRecord& record) {
    std::vector<std::pair<std::string, std::string>> fields;
    for (const Field& field : kFields) {
        std::string text = std::visit(
            [&](auto member) {
                const Json value = Value(record.*member);
                return value.is_string() ? value.get<std::string>() : Dump(value);
            },
            field.member);
        fields.emplace_back(field.key, std::move(text));
    }
    return fields;
}

std::string DefaultFlashLogPath() {
    return Utf8FromPath(PathFromUtf8(system::StateFolder()) / "flash-log.jsonl");
}

bool AppendFlashRecord(const std::string& path, const FlashRecord& record, std::string* error) {
    const std::filesystem::path folder = PathFromUtf8(path).parent_path();
    std::error_code failure;
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, failure);
    }
    if (failure) {
        return SetError(error, "cannot create " + Utf8FromPath(folder) + ": " + failure.message());
    }
    return system::AppendLine(path, FlashRecordJson(record) + "\n", error);
}

bool ReadFlashLog(const std::string& path, FlashLogContents* contents, std::string* error) {
    FlashLogContents read;
    size_t number = 0;
    const auto take = [&](std::string_view line, bool ended) {
        ++number;
        if (IsBlank(line)) {
            return;
        }
        std::string why;
        if (auto record = ParseFlashRecord(line, &why)) {
            read.records.push_back(std::move(*record));
        } else if (ended) {
            read.warnings.push_back("line " + std::to_string(number) + ": skipped: " + why);
        } else {
            read.warnings.push_back("line " + std::to_string(number) + ": torn last line skipped");
        }
    };
    std::string pending;  // the line read so far
    bool tooLong = false; // pending has been dropped: the line is longer than any record
    const auto chunk = [&](std::string_view bytes) {
        while (!bytes.empty()) {
            const size_t end = bytes.find('\n');
            if (!tooLong) {
                pending.append(bytes.substr(0, end));
            }
            if (pending.size() > kLongestLine) {
                pending.clear();
                tooLong = true;
            }
            if (end == std::string_view::npos) {
                return;
            }
            if (tooLong) {
                ++number;
                read.warnings.push_back("line " + std::to_string(number) + ": skipped: longer than " +
                                        std::to_string(kLongestLine) + " bytes");
            } else {
                take(pending, true);
            }
            pending.clear();
            tooLong = false;
            bytes.remove_prefix(end + 1);
        }
    };
    if (!system::ReadRegularFile(path, true, chunk, error)) {
        return false;
    }
    if (tooLong) {
        read.warnings.push_back("line " + std::to_string(number + 1) + ": torn last line skipped");
    } else if (!pending.empty()) {
        take(pending, false);
    }
    *contents = std::move(read);
    return true;
}

std::string NowUtcIso8601() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::optional<int64_t> ParseUtcTime(std::string_view text) {
    // "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SSZ": # a digit, anything else itself.
    constexpr std::string_view kForm = "####-##-##T##:##:##Z";
    if (text.size() != 10 && text.size() != kForm.size()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kForm[i] == '#' ? !digit : text[i] != kForm[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i) {
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    using namespace std::chrono;
    const year_month_day date{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                              day(static_cast<unsigned>(number(8, 2)))};
    if (!date.ok()) {
        return std::nullopt;
    }
    int64_t seconds = duration_cast<std::chrono::seconds>(sys_days(date).time_since_epoch()).count();
    if (text.size() > 10) {
        const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
        if (hour > 23 || minute > 59 || second > 59) {
            return std::nullopt;
        }
        seconds += hour * 3600 + minute * 60 + second;
    }
    return seconds;
}

std::string StationName() {
    return system::HostName();
}

std::string OperatorName() {
    return system::UserName();
}

} // namespace brenwick::station
