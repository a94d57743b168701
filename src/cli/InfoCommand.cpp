#include "cli/ArgScanner.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonWriter.h"
#include "cli/LinkOptions.h"
#include "cli/Output.h"
#include "cli/SessionExit.h"
#include "cli/SessionRunner.h"
#include "cli/StopSignals.h"

#include <cstdio>
#include <iostream>

namespace brenwick::cli {

namespace {

#ifdef _WIN32
constexpr const char* kPortExample = "  --port PATH    the serial port, e.g. COM5\n";
#else
constexpr const char* kPortExample =
    "  --port PATH    the serial device, e.g. /dev/ttyACM0 or a /dev/serial/by-id name\n";
#endif

std::string Usage() {
    return "usage: brenwick-cli info --port PATH [--baud RATE] [--timeout S] [--json]\n"
           "\n"
           "Goes on line with the device on PATH and shows what it reports: name, serial number, boot and "
           "flash\n"
           "revisions, product ID, flash size, page size, boot length and the link state (\"Connected\",\n"
           "\"Programming\", \"Programming Error\").\n" +
           std::string(kPortExample) + BaudUsage() +
           "  --timeout S    how long to wait for the device to answer, in seconds (default 5)\n"
           "  --json         one JSON object\n"
           "Exit status: 0 the device answered, 2 usage, 4 port cannot be opened, 5 no answer, 6 output\n"
           "cannot be written, 130 interrupted.\n";
}

std::string WithHex(int32_t value) {
    char text[48];
    std::snprintf(text, sizeof text, "%d (0x%X)", value, static_cast<unsigned>(value));
    return text;
}

void PrintFacts(const std::string& port, const DocSnapshot& facts, bool json) {
    const std::string state(protocol::LinkStateText(facts.linkState));
    const DeviceInfo& d = facts.device;
    if (json) {
        CJsonObject object;
        object.Text("port", port)
            .Text("state", state)
            .Text("name", d.targetName)
            .Text("serial_number", d.serialNumber)
            .Real("boot_revision", d.bootRev * 0.01)
            .Real("flash_revision", d.flashRev * 0.01)
            .Text("product_id", ProductIdText(d.ProductIdBytes()))
            .Number("flash_size", d.flashSize)
            .Number("page_size", d.pageSize)
            .Number("boot_length", d.bootLength);
        std::cout << object.Str() << "\n";
        return;
    }
    std::cout << "port:           " << Printable(port) << "\n"
              << "state:          " << state << "\n"
              << "name:           " << Printable(d.targetName) << "\n"
              << "serial number:  " << Printable(d.serialNumber) << "\n"
              << "boot revision:  " << RevisionText(d.bootRev) << "\n"
              << "flash revision: " << RevisionText(d.flashRev) << "\n"
              << "product id:     " << ProductIdText(d.ProductIdBytes()) << "\n"
              << "flash size:     " << WithHex(d.flashSize) << "\n"
              << "page size:      " << d.pageSize << "\n"
              << "boot length:    " << WithHex(d.bootLength) << "\n";
}

} // namespace

int RunInfo(const CommandArgs& args) {
    CArgScanner scan(args);
    LinkOptions options;
    std::string port;
    std::string error;
    while (!scan.Done() && error.empty()) {
        if (scan.Flag("--help") || scan.Flag("-h")) {
            std::cout << Usage();
            return kExitOk;
        }
        if (auto value = scan.Value("--port")) {
            if (!port.empty()) {
                error = "info takes one --port";
            }
            port = *value;
        } else if (!ScanLinkOption(scan, options, &error)) {
            error = "unexpected argument '" + scan.Peek() + "'";
        }
    }
    if (error.empty() && port.empty()) {
        error = "no --port given";
    }
    if (!error.empty()) {
        std::cerr << "brenwick-cli info: " << error << "\n" << Usage();
        return kExitUsage;
    }

    CStopSignals stop; // before any thread exists
    SessionList sessions;
    sessions.push_back(std::make_unique<CDeviceSession>(port, options.baudIndex, options.timeout));
    CDeviceSession& session = *sessions.front();
    session.Start(false);
    if (!RunSessions(sessions, stop, [] {})) {
        std::cerr << "brenwick-cli info: interrupted\n";
        return kExitInterrupted;
    }
    if (session.Result() != SessionResult::Succeeded) {
        std::cerr << "brenwick-cli info: " << Printable(port) << ": " << session.Message() << "\n";
        return ExitCodeFor(session.Result());
    }
    PrintFacts(port, session.Facts(), options.json);
    return FinishOutput(kExitOk, "info");
}

} // namespace brenwick::cli
