#include "panel/ComPortSetting.h"

#include "serial/PortDiscovery.h"

#include <cctype>

namespace brenwick::panel {

std::optional<int> ComPortNumber(std::string_view name) {
    name = serial::WithoutDevicePrefix(name);
    // COM1 to COM255 and a little room; anything longer is no number.
    if (name.size() < 4 || name.size() > 7) {
        return std::nullopt;
    }
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) {
            return std::nullopt;
        }
    }
    const std::string_view digits = name.substr(3);
    if (digits.front() == '0') {
        return std::nullopt; // "COM05" is another device name than COM5
    }
    int number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

std::string ComPortName(int number) {
    return "COM" + std::to_string(number);
}

} // namespace brenwick::panel
