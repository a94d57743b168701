#pragma once

#include <string>
#include <vector>

namespace brenwick::panel {

// What the program was asked to do on its command line.
struct AppOptions {
    bool help = false;
    bool version = false;
    bool demo = false;
    int boards = 0;    // with demo: that many simulated boards for the production view; 0: the classic panel
    std::string file;  // a firmware file to open at start
    std::string error; // a usage error: the sentence to print
};

inline constexpr int kMaxDemoBoards = 16;

// `args` without the program's name. "--" ends the options.
AppOptions ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText(const std::string& program);
// "Brenwick Version N": what --version prints and the About box shows.
std::string VersionText();

} // namespace brenwick::panel
