#include "panel/ClockFormat.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace brenwick::panel {

namespace {

constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Out-of-range fields (a hand-made tm) show as "?" rather than reading past a table.
template <std::size_t N>
std::string_view Name(const std::array<std::string_view, N>& table, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= N) {
        return "?";
    }
    return table[static_cast<std::size_t>(index)];
}

} // namespace

std::string FormatLocalClockText(const std::tm& t) {
    const int hour12 = (t.tm_hour % 12 == 0) ? 12 : t.tm_hour % 12;
    const char* half = t.tm_hour < 12 ? "AM" : "PM";
    const std::string_view day = Name(kWeekdays, t.tm_wday);
    const std::string_view month = Name(kMonths, t.tm_mon);
    std::array<char, 96> buffer{};
    std::snprintf(buffer.data(), buffer.size(), " %.*s %d %.*s %d  %d:%02d:%02d %s ",
                  static_cast<int>(day.size()), day.data(), t.tm_mday, static_cast<int>(month.size()),
                  month.data(), t.tm_year + 1900, hour12, t.tm_min, t.tm_sec, half);
    return buffer.data();
}

std::string FormatUtcClockText(const std::tm& t) {
    const std::string_view month = Name(kMonths, t.tm_mon);
    std::array<char, 96> buffer{};
    std::snprintf(buffer.data(), buffer.size(), " %d %.*s %d  %d:%02d:%02d UTC ", t.tm_mday,
                  static_cast<int>(month.size()), month.data(), t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec);
    return buffer.data();
}

namespace {

// The thread-safe conversions: each system spells them its own way.
bool BreakDown(std::time_t seconds, bool localTime, std::tm& broken) {
#if defined(_WIN32)
    return (localTime ? localtime_s(&broken, &seconds) : gmtime_s(&broken, &seconds)) == 0;
#else
    return (localTime ? localtime_r(&seconds, &broken) : gmtime_r(&seconds, &broken)) != nullptr;
#endif
}

} // namespace

std::string FormatClockText(std::time_t seconds, bool localTime) {
    std::tm broken{};
    if (!BreakDown(seconds, localTime, broken)) {
        return {};
    }
    return localTime ? FormatLocalClockText(broken) : FormatUtcClockText(broken);
}

int ClockFontCellHeight(int controlHeight) {
    return controlHeight * 90 / 100;
}

} // namespace brenwick::panel
