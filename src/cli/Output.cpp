#include "cli/Output.h"

#include "cli/ExitCodes.h"

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
