#include "cli/Output.h"

#include "cli/ExitCodes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace brenwick::cli {

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? '?' : c;
    }
    return out;
}

std::string ColumnText(std::vector<std::vector<std::string>> rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t k = 0; k < row.size(); ++k) {
            widths[k] = std::max(widths[k], row[k].size());
        }
    }
    std::string text;
    for (auto& row : rows) {
        for (size_t k = 0; k + 1 < row.size(); ++k) {
            row[k].resize(widths[k], ' ');
            text += row[k] + "  ";
        }
        text += (row.empty() ? std::string() : row.back()) + "\n";
    }
    return text;
}

int FinishOutput(int status, const char* command) {
    static bool reported = false; // main checks again after every command: say it once
    errno = 0;
    std::cout.flush();
    if (!std::cout.good()) {
        if (reported) {
            return status == kExitOk ? kExitWriteFailed : status;
        }
        reported = true;
        const int reason = errno;
        std::cerr << "brenwick-cli " << command << ": cannot write the output"
                  << (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()) << "\n";
        return status == kExitOk ? kExitWriteFailed : status;
    }
    return status;
}

} // namespace brenwick::cli
