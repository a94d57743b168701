#include "base/StandardStreams.h"
#include "base/Version.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"

#include <iostream>
#include <map>

using namespace brenwick::cli;

using namespace brenwick;

namespace {

constexpr const char* kUsage =
    "usage: brenwick-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  make-bin FILE [--output PATH]   write the stamped application area as a flat binary file\n"
    "  inspect FILE                    show what a firmware file holds before flashing it\n"
    "  ports [--json]                  list the serial devices present\n"
    "  info --port PATH                show what the device on PATH reports about itself\n"
    "  flash --port PATH [--port PATH ...] FILE\n"
    "                                  flash FILE into one device, or into several at once\n"
    "  flash --watch [--match PATTERN] FILE\n"
    "                                  flash every board that is plugged in, until Ctrl+C\n"
    "  log [--log FILE] [--serial SN] [--since DATE] [--failed] [--csv | --json]\n"
    "                                  show the flash log: each board's runs and their results\n"
    "Options of info and flash: --baud RATE (default 115200), --timeout S (default 5), --json.\n"
#ifdef _WIN32
    "make-bin and inspect read Intel HEX from standard input for FILE -, and from a pipe;\n"
    "flash reads FILE again for each device and needs a regular file. Ctrl+C, Ctrl+Break and closing the\n"
    "console end a run with status 130.\n"
#else
    "make-bin and inspect read Intel HEX from standard input for FILE -, and from a pipe such as <(...);\n"
    "flash reads FILE again for each device and needs a regular file. Ctrl+C, SIGTERM and SIGHUP end a\n"
    "run with status 130.\n"
#endif
    "\n"
    "brenwick-cli COMMAND --help shows a command's options; --version shows the version.\n"
    "Exit status: 0 success, 1 device error, 2 usage, 3 firmware file (for log: the log) cannot be\n"
    "read, 4 port cannot be opened, 5 device does not answer, 6 output cannot be written,\n"
    "7 firmware for another product, 130 interrupted. With several devices the highest-priority\n"
    "failure decides: 130, 4, 5, 3, 7, 1, then 0.\n";

} // namespace

int brenwick::cli::RunProgram(int argc, char** argv) {
    // Before anything is opened: a closed standard stream must not lend its number to the port.
    if (!EnsureStandardStreams()) {
        return kExitWriteFailed;
    }

    const std::map<std::string, int (*)(const CommandArgs&)> commands = {
        {"make-bin", RunMakeBin}, {"inspect", RunInspect}, {"ports", RunPorts},
        {"info", RunInfo},        {"flash", RunFlash},     {"log", RunLog},
    };
    if (argc < 2) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << kUsage;
        return FinishOutput(kExitOk, "--help");
    }
    if (name == "--version") {
        std::cout << "brenwick-cli " << kVersion << "\n";
        return FinishOutput(kExitOk, "--version");
    }
    const auto command = commands.find(name);
    if (command == commands.end()) {
        std::cerr << "brenwick-cli: unknown command '" << name << "'\n" << kUsage;
        return kExitUsage;
    }
    // Every command's output, its --help included, must have reached standard output for a success.
    return FinishOutput(command->second(CommandArgs(argv + 2, argv + argc)), name.c_str());
}
