#pragma once

#include "protocol/ProtocolTypes.h"

#include <chrono>
#include <optional>
#include <string>

namespace brenwick::cli {

// The options that say how to reach a device: --baud and --timeout, shared by info and flash.
struct LinkOptions {
    int baudIndex = protocol::kDefaultBaudIndex;
    std::chrono::milliseconds timeout{5000};
    bool json = false;
};

// The stored baud index for a rate of the program's table, or nothing; *error then names the valid rates.
std::optional<int> ParseBaudRate(const std::string& text, std::string* error);
// A time-out in seconds (decimals allowed), more than 0 and at most one hour.
std::optional<std::chrono::milliseconds> ParseTimeout(const std::string& text, std::string* error);
// "1200, 2400, ..., 256000"
std::string ValidBaudRates();
// The usage lines of --baud: every rate of the table, the default marked.
std::string BaudUsage();

class CArgScanner;

// Takes --baud, --timeout or --json when the scanner stands on one of them: true when it did (check *error
// for a bad value).
bool ScanLinkOption(CArgScanner& scan, LinkOptions& options, std::string* error);

} // namespace brenwick::cli
