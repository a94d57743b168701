#pragma once

#include "cli/Commands.h"
#include "cli/LinkOptions.h"

#include <string>
#include <vector>

namespace brenwick::cli {

// What `flash` was asked to do.
struct FlashArgs {
    std::vector<std::string> ports;
    LinkOptions link;
    std::string file;
    bool watch = false;   // wait for boards instead of flashing the given ports
    std::string watchDir; // "" for the system's own list of serial devices
    std::string match;
    bool again = false;
    std::string logPath; // "" for the default place
    bool noLog = false;
};

// Flashes every board that comes until a stop request; the exit status.
int RunFlashWatch(const FlashArgs& args);

} // namespace brenwick::cli
