#include "cli/ArgScanner.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/PortListFormat.h"

#include <iostream>

namespace brenwick::cli {

namespace {

constexpr const char* kUsage =
    "usage: brenwick-cli ports [--json]\n"
    "\n"
#ifdef _WIN32
    "Lists the serial ports present, one a line: port name (COM5), by-id name (none on Windows: '-'),\n"
    "USB vendor:product id and the product text of the device or its driver ('-' where unknown). USB\n"
    "ports come first. In the JSON, usb is null where Windows does not tell what is behind a port.\n"
#else
    "Lists the serial devices present, one a line: device path, /dev/serial/by-id name, USB vendor:product\n"
    "id and the product text the device reports ('-' where unknown). USB devices come first.\n"
#endif
    "  --json   a JSON array of objects with the fields path, by_id, usb_id, product and usb\n";

} // namespace

int RunPorts(const CommandArgs& args) {
    CArgScanner scan(args);
    bool json = false;
    while (!scan.Done()) {
        if (scan.Flag("--help") || scan.Flag("-h")) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (scan.Flag("--json")) {
            json = true;
            continue;
        }
        std::cerr << "brenwick-cli ports: unexpected argument '" << scan.Peek() << "'\n" << kUsage;
        return kExitUsage;
    }
    const auto ports = serial::ListSerialPorts();
    if (json) {
        std::cout << PortListJson(ports);
    } else if (ports.empty()) {
        std::cerr << "brenwick-cli ports: no serial devices found\n";
    } else {
        std::cout << PortListText(ports);
    }
    return FinishOutput(kExitOk, "ports");
}

} // namespace brenwick::cli
