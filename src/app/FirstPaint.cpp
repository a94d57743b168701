#include "app/FirstPaint.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace brenwick::app {

namespace {

// Milliseconds since the kernel started this process (its start time in /proc is counted in clock ticks since
// boot), so that loading the libraries counts too; -1 when it cannot be read.
long MsSinceProcessStart() {
    std::FILE* stat = std::fopen("/proc/self/stat", "r");
    if (stat == nullptr) {
        return -1;
    }
    char line[1024] = {};
    const bool read = std::fgets(line, sizeof line, stat) != nullptr;
    std::fclose(stat);
    // The command name may hold spaces and parentheses; the fields after the last ')' start at the state,
    // field 3, and the start time is field 22.
    const char* p = read ? std::strrchr(line, ')') : nullptr;
    if (p == nullptr) {
        return -1;
    }
    unsigned long long startTicks = 0;
    if (std::sscanf(p + 1,
                    " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                    &startTicks) != 1) {
        return -1;
    }
    timespec now{};
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (ticksPerSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        return -1;
    }
    const long long nowMs = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    const auto startMs =
        static_cast<long long>(startTicks * 1000ULL / static_cast<unsigned long long>(ticksPerSecond));
    return static_cast<long>(nowMs - startMs);
}

} // namespace

void ReportFirstPaint() {
    static bool reported = false;
    if (reported) {
        return;
    }
    reported = true;
    const char* wanted = std::getenv("BRENWICK_REPORT_FIRST_PAINT");
    if (wanted != nullptr && std::strcmp(wanted, "1") == 0) {
        std::fprintf(stderr, "first paint %ld\n", MsSinceProcessStart());
    }
}

} // namespace brenwick::app
