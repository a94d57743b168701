#include "devsim/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <limits>
#include <optional>

namespace brenwick {

namespace devsim {

namespace {

std::optional<int64_t> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

template <class T>
bool StoreNumber(std::string_view text, int64_t low, int64_t high, T& target) {
    const auto value = ParseNumber(text);
    if (!value || *value < low || *value > high) {
        return false;
    }
    target = static_cast<T>(*value);
    return true;
}

bool StoreProductId(std::string_view text, uint8_t (&id)[4]) {
    if (text.size() != 8) {
        return false;
    }
    for (size_t k = 0; k < 4; ++k) {
        unsigned value = 0;
        const char* first = text.data() + 2 * k;
        const auto [end, ec] = std::from_chars(first, first + 2, value, 16);
        if (ec != std::errc{} || end != first + 2) {
            return false;
        }
        id[k] = static_cast<uint8_t>(value);
    }
    return true;
}

using Setter = std::function<bool(std::string_view, DeviceSimOptions&)>;

struct ValueOption {
    std::string_view name;
    Setter set;
    const char* expected; // what the value must be, for the error message
};

constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();
using O = DeviceSimOptions;

template <class T>
Setter Number(T O::*field, int64_t low, int64_t high) {
    return [=](std::string_view v, O& o) { return StoreNumber(v, low, high, o.*field); };
}
// A text; a file or path must not be empty.
Setter Text(std::string O::*field, bool path = false) {
    return [=](std::string_view v, O& o) {
        o.*field = v;
        return !path || !v.empty();
    };
}

const ValueOption kValueOptions[] = {
    {"--name", Text(&O::name), "a text"},
    {"--serial", Text(&O::serial), "a text"},
    {"--product-id", [](std::string_view v, O& o) { return StoreProductId(v, o.productId); },
     "eight hex digits, e.g. 5AFFA500"},
    {"--boot-rev", Number(&O::bootRev, 0, 0xFFFF), "0 to 65535"},
    {"--flash-rev", Number(&O::flashRev, 0, 0xFFFF), "0 to 65535"},
    {"--aux-word", Number(&O::auxWord, 0, 0xFFFF), "0 to 65535"},
    {"--flash-size", Number(&O::flashSize, 1, kIntMax), "a size in bytes"},
    {"--page-size", Number(&O::pageSize, 1, kIntMax), "a size in bytes"},
    {"--boot-length", Number(&O::bootLength, 0, kIntMax), "a size in bytes"},
    {"--nak-page", Number(&O::nakPage, 0, kIntMax), "a page number (from 1)"},
    {"--hang-up-page", Number(&O::hangUpPage, 0, kIntMax), "a page number (from 1)"},
    {"--reply-delay", Number(&O::replyDelayMs, 0, kIntMax), "milliseconds"},
    {"--quiet-after-end", Number(&O::quietAfterEndMs, 0, kIntMax), "milliseconds"},
    {"--baud", Number(&O::baud, 0, kIntMax), "a baud rate"},
    {"--flash-out", Text(&O::flashOut, true), "a file"},
    {"--link", Text(&O::linkPath, true), "a path"},
    {"--plug-after", Number(&O::plugAfterMs, 0, kIntMax), "milliseconds"},
    {"--unplug-after", Number(&O::unplugAfterMs, 0, kIntMax), "milliseconds"},
};

ParsedCommandLine Failure(std::string text) {
    ParsedCommandLine parsed;
    parsed.action = CommandLineAction::Error;
    parsed.error = std::move(text);
    return parsed;
}

} // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string_view> args) {
    ParsedCommandLine parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "-h" || arg == "--help" || arg == "--version") {
            parsed.action = arg == "--version" ? CommandLineAction::Version : CommandLineAction::Help;
            return parsed;
        }
        if (arg == "-v" || arg == "--verbose") {
            parsed.options.verbose = true;
            continue;
        }
        if (arg == "--silent") {
            parsed.options.silent = true;
            continue;
        }
        if (arg == "--stall-after-begin") {
            parsed.options.stallAfterBegin = true;
            continue;
        }
        if (arg == "--no-geometry") {
            parsed.options.noGeometry = true;
            continue;
        }
        const std::string_view name = arg.substr(0, arg.find('='));
        const auto* option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                          [name](const ValueOption& o) { return o.name == name; });
        if (option == std::end(kValueOptions)) {
            return Failure("unknown option " + std::string(arg));
        }
        std::string_view value;
        if (name.size() < arg.size()) {
            value = arg.substr(name.size() + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Failure(std::string(name) + " needs a value (" + option->expected + ")");
        }
        if (!option->set(value, parsed.options)) {
            return Failure("bad value '" + std::string(value) + "' for " + std::string(name) + ": expected " +
                           option->expected);
        }
    }
    std::string error;
    if (!ValidateOptions(parsed.options, &error)) {
        return Failure(error);
    }
    return parsed;
}

std::string UsageText() {
    return "usage: brenwick-devsim [options]\n"
           "A simulated Brenwick boot loader on a pseudo-terminal. Prints 'PORT <path>' first, then serves\n"
           "until SIGINT or SIGTERM. Numbers are decimal or 0x hex.\n"
           "\n"
           "  --name TEXT            device name (default \"Brenwick SIM\")\n"
           "  --serial TEXT          serial number (default SIM000001)\n"
           "  --product-id AABBCCDD  product ID bytes (default 5AFFA500)\n"
           "  --boot-rev N           boot loader revision in hundredths (default 120)\n"
           "  --flash-rev N          firmware revision in hundredths (default 100)\n"
           "  --aux-word N           auxiliary 16-bit value (default 0)\n"
           "  --flash-size N         flash size in bytes (default 0x40000)\n"
           "  --page-size N          page size in bytes, 1 to 8185 (default 256)\n"
           "  --boot-length N        boot area length in bytes (default 0x4000)\n"
           "  --flash-out FILE       write the whole flash to FILE at End and at exit\n"
           "  --link PATH            also make PATH a symbolic link to the port\n"
           "  --plug-after MS        appear (port, link, PORT line) only after MS milliseconds\n"
           "  --unplug-after MS      go away MS milliseconds after appearing, as an unplugged board does\n"
           "  --silent               answer nothing\n"
           "  --no-geometry          answer everything but the flash geometry request\n"
           "  --nak-page K           reject page K of each run (pages count from 1)\n"
           "  --hang-up-page K       close the line on receiving page K, then exit\n"
           "  --reply-delay MS       wait MS milliseconds before each reply\n"
           "  --stall-after-begin    stop reading the line once Begin is answered\n"
           "  --quiet-after-end MS   answer nothing for MS milliseconds after End\n"
           "  --baud RATE            pace both directions like a UART at RATE baud\n"
           "  -v, --verbose          log every message in and out on standard error, in hex\n"
           "  -h, --help             show this text\n"
           "  --version              show the version\n";
}

} // namespace devsim

} // namespace brenwick
