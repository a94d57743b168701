#include "cli/Commands.h"
#include "cli/ExitCodes.h"

#include <csignal>
#include <iostream>
#include <map>

namespace {

constexpr const char* kVersion = "0.1.0";

constexpr const char* kUsage =
    "usage: brenwick-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  make-bin FILE [--output PATH]   write the stamped application area as a flat binary file\n"
    "  inspect FILE                    show what a firmware file holds before flashing it\n"
    "\n"
    "brenwick-cli COMMAND --help shows a command's options; --version shows the version.\n"
    "Exit status: 0 success, 1 device error, 2 usage, 3 firmware file cannot be loaded,\n"
    "4 port cannot be opened, 5 device does not answer, 6 output cannot be written,\n"
    "7 firmware for another product, 130 interrupted.\n";

} // namespace

int main(int argc, char** argv) {
    // A full disk or a file-size limit must end a write with an error, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);

    const std::map<std::string, int (*)(const CommandArgs&)> commands = {
        {"make-bin", RunMakeBin},
        {"inspect", RunInspect},
    };
    if (argc < 2) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << kUsage;
        return kExitOk;
    }
    if (name == "--version") {
        std::cout << "brenwick-cli " << kVersion << "\n";
        return kExitOk;
    }
    const auto command = commands.find(name);
    if (command == commands.end()) {
        std::cerr << "brenwick-cli: unknown command '" << name << "'\n" << kUsage;
        return kExitUsage;
    }
    return command->second(CommandArgs(argv + 2, argv + argc));
}
