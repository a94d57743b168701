#include "panel/CommandLine.h"

#include "base/ParseInt.h"
#include "base/Version.h"

namespace brenwick::panel {

namespace {

// The count of --boards N: 1 to kMaxDemoBoards, nothing else after it.
int BoardCount(const std::string& text) {
    size_t length = 0;
    const auto count = ParseInt(text, &length);
    return count && length == text.size() && *count >= 1 && *count <= kMaxDemoBoards ? *count : 0;
}

} // namespace

AppOptions ParseCommandLine(const std::vector<std::string>& args) {
    AppOptions options;
    bool optionsEnded = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (!optionsEnded && (arg == "--boards" || arg.rfind("--boards=", 0) == 0)) {
            const bool joined = arg != "--boards";
            if (!joined && k + 1 == args.size()) {
                options.error = "--boards needs a number of boards";
                continue;
            }
            const std::string count = joined ? arg.substr(9) : args[++k];
            options.boards = BoardCount(count);
            if (options.boards == 0) {
                options.error = "--boards takes 1 to " + std::to_string(kMaxDemoBoards) + ", not " + count;
            }
        } else if (!optionsEnded && arg == "--") {
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
    if (options.boards != 0 && !options.demo && options.error.empty()) {
        options.error = "--boards goes with --demo";
    }
    return options;
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " [--demo [--boards N]] [FILE]\n"
           "Writes firmware into a board's flash through its boot loader over a serial line.\n"
           "\n"
           "  FILE        an Intel HEX (.hex) or raw binary (.bin) firmware file to open;\n"
           "              without one, the file of the last run is opened again\n"
           "  --demo      try the program on a simulated board with the example firmware\n"
           "  --boards N  with --demo: start in production mode with N simulated boards (1 to 16)\n"
           "              plugged in one after another\n"
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
