#include "cli/LinkOptions.h"

#include "cli/ArgScanner.h"
#include "protocol/ProtocolTypes.h"

#include <charconv>
#include <cmath>

namespace brenwick::cli {

std::string ValidBaudRates() {
    std::string list;
    for (int k = 0; k <= protocol::kMaxBaudIndex; ++k) {
        list += (k == 0 ? "" : ", ") + std::to_string(protocol::BaudRateForIndex(k));
    }
    return list;
}

std::string BaudUsage() {
    std::string text = "  --baud RATE    ";
    for (int k = 0; k <= protocol::kMaxBaudIndex; ++k) {
        text += std::to_string(protocol::BaudRateForIndex(k));
        if (k == protocol::kDefaultBaudIndex) {
            text += " (default),\n                 "; // the rest on a second line
        } else if (k + 1 < protocol::kMaxBaudIndex) {
            text += ", ";
        } else if (k + 1 == protocol::kMaxBaudIndex) {
            text += " or ";
        }
    }
    return text + "\n";
}

std::optional<int> ParseBaudRate(const std::string& text, std::string* error) {
    int32_t rate = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), rate);
    const int index =
        ec == std::errc{} && end == text.data() + text.size() ? protocol::BaudIndexForRate(rate) : -1;
    if (text.empty() || index < 0) {
        *error = "baud rate '" + text + "' is not one of " + ValidBaudRates();
        return std::nullopt;
    }
    return index;
}

std::optional<std::chrono::milliseconds> ParseTimeout(const std::string& text, std::string* error) {
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(seconds) ||
        seconds <= 0 || seconds > 3600) {
        *error = "time-out '" + text + "' must be a number of seconds above 0 and at most 3600";
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<int64_t>(std::ceil(seconds * 1000)));
}

bool ScanLinkOption(CArgScanner& scan, LinkOptions& options, std::string* error) {
    if (scan.Flag("--json")) {
        options.json = true;
        return true;
    }
    if (auto value = scan.Value("--baud")) {
        if (const auto index = ParseBaudRate(*value, error)) {
            options.baudIndex = *index;
        }
        return true;
    }
    if (auto value = scan.Value("--timeout")) {
        if (const auto timeout = ParseTimeout(*value, error)) {
            options.timeout = *timeout;
        }
        return true;
    }
    if (!scan.Error().empty()) {
        *error = scan.Error();
        return true;
    }
    return false;
}

} // namespace brenwick::cli
