#include "panel/CommandLine.h"

#include "base/Version.h"

namespace brenwick::panel {

AppOptions ParseCommandLine(const std::vector<std::string>& args) {
    AppOptions options;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            options.help = true;
        } else if (!optionsEnded && (arg == "--version" || arg == "-v")) {
            options.version = true;
        } else if (!optionsEnded && arg == "--demo") {
            options.demo = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            options.error = "unknown option " + arg;
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            options.error = "only one firmware file can be opened, not also " + arg;
        }
    }
    return options;
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " [--demo] [FILE]\n"
           "Writes firmware into a board's flash through its boot loader over a serial line.\n"
           "\n"
           "  FILE        an Intel HEX (.hex) or raw binary (.bin) firmware file to open;\n"
           "              without one, the file of the last run is opened again\n"
           "  --demo      try the program on a simulated board with the example firmware\n"
           "  --help      show this text\n"
           "  --version   show the version\n"
           "\n"
           "A second start raises the window that is already open. Settings are kept in\n"
           "$XDG_CONFIG_HOME/Veltmark/Brenwick.conf (~/.config when unset).\n";
}

std::string VersionText() {
    return std::string("Brenwick Version ") + kVersion;
}

} // namespace brenwick::panel
