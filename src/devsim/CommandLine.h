#pragma once

#include "devsim/DeviceSimOptions.h"

#include <span>
#include <string>
#include <string_view>

namespace brenwick {

namespace devsim {

enum class CommandLineAction { Run, Help, Version, Error };

struct ParsedCommandLine {
    CommandLineAction action = CommandLineAction::Run;
    DeviceSimOptions options;
    std::string error; // for Error: what was wrong, as a sentence
};

// Reads the program's arguments (without the program name). Numbers are decimal or 0x hex; every option
// that takes a value accepts it as the next argument or after '='.
ParsedCommandLine ParseCommandLine(std::span<const std::string_view> args);

std::string UsageText();

} // namespace devsim

} // namespace brenwick
