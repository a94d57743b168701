#include "devsim/HexLog.h"

#include <cerrno>
#include <unistd.h>

namespace brenwick {

namespace devsim {

std::string HexLine(std::string_view marker, std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string line(marker);
    line.reserve(marker.size() + bytes.size() * 3);
    for (const uint8_t b : bytes) {
        line += ' ';
        line += kDigits[b >> 4];
        line += kDigits[b & 0x0F];
    }
    return line;
}

void LogLine(const std::string& line) {
    const std::string text = line + '\n';
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // a closed standard error must not stop the device
        }
        done += static_cast<size_t>(n);
    }
}

} // namespace devsim

} // namespace brenwick
