#pragma once

#include <cstdlib>
#include <string>

// The brenwick-cli the tests start: the one built with them (BRENWICK_CLI_PATH, defined by the test's
// target), or the program that the environment's BRENWICK_CLI names instead, such as scripts/wine-cli, which
// runs the Windows build under Wine with the same arguments.
inline std::string CliProgram() {
    const char* other = std::getenv("BRENWICK_CLI");
    return other != nullptr && *other != '\0' ? std::string(other) : std::string(BRENWICK_CLI_PATH);
}
