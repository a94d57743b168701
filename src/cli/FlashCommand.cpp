#include "cli/ArgScanner.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/FlashArgs.h"
#include "cli/FlashLogger.h"
#include "cli/FlashReport.h"
#include "cli/LinkOptions.h"
#include "cli/Output.h"
#include "cli/PathKind.h"
#include "cli/ProgressView.h"
#include "cli/SessionExit.h"
#include "cli/SessionRunner.h"
#include "cli/StopSignals.h"
#include "cli/Terminal.h"
#include "serial/PortDiscovery.h"
#include "station/FlashLog.h"
#include "station/Sha256.h"

#include <algorithm>
#include <iostream>
#include <set>

namespace brenwick::cli {

namespace {

std::string Usage() {
    return "usage: brenwick-cli flash --port PATH [--port PATH ...] [--baud RATE] [--timeout S] [--json] "
           "FILE\n"
           "       brenwick-cli flash --watch [--watch-dir DIR] [--match PATTERN] [--again] [--baud RATE] "
           "[--timeout S]\n"
           "                          [--json] FILE\n"
           "\n"
           "Flashes FILE (Intel HEX or .bin) into the device on each PATH: goes on line, waits for the "
           "device's\n"
           "flash geometry, reads the file again stamped for it, runs the programming sequence and waits for "
           "the\n"
           "device's verdict at a status poll. With several --port options every device is flashed at "
           "the\n"
           "same time; a device that fails does not stop the others, and a table shows each device's "
           "result.\n"
           "  --port PATH    a serial device (repeat for several devices)\n" +
           BaudUsage() +
           "  --timeout S    how long to wait for a device to answer or give its verdict, in seconds "
           "(default 5)\n"
           "  --json         no progress; one JSON object with each device's result at the end\n"
           "  --watch        wait for boards and flash each one that appears, until Ctrl+C; one line per "
           "board,\n"
           "                 the totals at the end; exit status 0 when no board failed\n"
           "  --watch-dir DIR  the folder of device links to watch (default /dev/serial/by-id; Windows: the\n"
           "                 system's serial devices)\n"
           "  --match PATTERN  only boards whose stable name, USB id (vvvv:pppp), product text or path "
           "matches\n"
           "                 PATTERN (* and ?, any case); other devices are never opened\n"
           "  --again        flash a board again that this watch already flashed with the same firmware\n"
           "  --log FILE     append each board's record to FILE (default: " +
           station::DefaultFlashLogPath() +
           ")\n"
           "  --no-log       keep no record\n"
           "Progress: a redrawn bar per device on a terminal, plain \"NN%\" lines otherwise.\n"
           "Exit status: 0 every device flashed, 1 a device reported an error or the sequence failed, 2 "
           "usage,\n"
           "3 the firmware file cannot be loaded, 4 a port cannot be opened, 5 a device does not answer, 6 "
           "output\n"
           "cannot be written, 7 the firmware is for another product, 130 interrupted (Ctrl+C). With "
           "several\n"
           "devices the highest-priority failure decides, in this order: 130, 4, 5, 3, 7, 1, then 0.\n";
}

std::string StatusFor(const CDeviceSession& s) {
    if (s.CurrentPhase() == CDeviceSession::Phase::Programming) {
        const DeviceInfo facts = s.Facts().device;
        return "Programming " + Printable(facts.targetName) + " SN=" + Printable(facts.serialNumber);
    }
    return station::PhaseText(s);
}

ProgressLine LineFor(const CDeviceSession& s) {
    ProgressLine line;
    line.status = StatusFor(s);
    line.total = s.BytesToSend();
    line.bytes = s.BytesSent();
    line.percent = s.Percent();
    line.seconds = s.ProgramSeconds();
    return line;
}

// Returns the usage error, or "" when the arguments are complete.
std::string ParseFlashArgs(const CommandArgs& args, FlashArgs& parsed, bool& help) {
    CArgScanner scan(args);
    std::string error;
    while (!scan.Done() && error.empty()) {
        if (scan.Flag("--help") || scan.Flag("-h")) {
            help = true;
            return "";
        }
        if (auto value = scan.Value("--port")) {
            if (value->empty()) {
                error = "--port needs a device path";
            } else if (std::any_of(parsed.ports.begin(), parsed.ports.end(), [&](const std::string& port) {
                           return serial::SamePortName(port, *value);
                       })) {
                error = "port " + *value + " is given twice";
            }
            parsed.ports.push_back(*value);
        } else if (ScanLinkOption(scan, parsed.link, &error)) {
            continue;
        } else if (scan.Flag("--watch")) {
            parsed.watch = true;
        } else if (auto dir = scan.Value("--watch-dir")) {
            parsed.watchDir = *dir;
            if (dir->empty()) {
                error = "--watch-dir needs a folder";
            }
        } else if (auto pattern = scan.Value("--match")) {
            parsed.match = *pattern;
        } else if (scan.Flag("--again")) {
            parsed.again = true;
        } else if (auto log = scan.Value("--log")) {
            parsed.logPath = *log;
            if (log->empty()) {
                error = "--log needs a file";
            }
        } else if (scan.Flag("--no-log")) {
            parsed.noLog = true;
        } else if (scan.IsOption() || !parsed.file.empty()) {
            error = "unexpected argument '" + scan.Peek() + "'";
        } else {
            parsed.file = scan.Positional();
        }
    }
    if (error.empty() && parsed.watch && !parsed.ports.empty()) {
        error = "--watch finds the boards itself: no --port with it";
    }
    if (error.empty() && !parsed.watch && parsed.ports.empty()) {
        error = "no --port given";
    }
    if (error.empty() && !parsed.watch &&
        (!parsed.watchDir.empty() || !parsed.match.empty() || parsed.again)) {
        error = "--watch-dir, --match and --again go with --watch";
    }
    if (error.empty() && parsed.noLog && !parsed.logPath.empty()) {
        error = "--log and --no-log together";
    }
    if (error.empty() && parsed.file.empty()) {
        error = "no firmware file given";
    }
    return error;
}

} // namespace

int RunFlash(const CommandArgs& args) {
    FlashArgs parsed;
    bool help = false;
    const std::string error = ParseFlashArgs(args, parsed, help);
    if (help) {
        std::cout << Usage();
        return kExitOk;
    }
    if (!error.empty()) {
        std::cerr << "brenwick-cli flash: " << error << "\n" << Usage();
        return kExitUsage;
    }

    // Each device reads the file again once its geometry is known: a pipe would be empty by then, and a
    // device or a FIFO without a writer could keep the run waiting. Only a regular file will do.
    if (const PathKind kind = KindOfPath(parsed.file);
        parsed.file == "-" || (kind != PathKind::Unknown && kind != PathKind::Regular)) {
        std::cerr << "brenwick-cli flash: " << parsed.file
                  << ": not a regular file; flash reads the file once per device (make-bin writes one)\n";
        return kExitLoadFailed;
    }
    if (parsed.watch) {
        return RunFlashWatch(parsed);
    }
    CStopSignals stop; // before any thread exists
    SessionList sessions;
    for (const auto& port : parsed.ports) {
        sessions.push_back(
            std::make_unique<CDeviceSession>(port, parsed.link.baudIndex, parsed.link.timeout));
    }
    // One document per port, each with the file open; the file is read again for each device once its
    // geometry is known.
    for (auto& session : sessions) {
        if (!session->OpenFile(parsed.file)) {
            std::cerr << "brenwick-cli flash: " << parsed.file << ": " << session->Message() << "\n";
            return kExitLoadFailed;
        }
    }

    const bool json = parsed.link.json;
    const bool terminal = !json && OutputIsTerminal();
    std::vector<std::string> labels;
    for (const auto& port : parsed.ports) {
        labels.push_back(Printable(port));
    }
    std::ostream nowhere(nullptr);
    CProgressView view(json ? nowhere : std::cout, terminal, labels, terminal ? TerminalColumns() : 80);
    if (!json) {
        std::cout << "Flashing " << Printable(parsed.file) << " at "
                  << protocol::BaudRateForIndex(parsed.link.baudIndex) << " baud"
                  << (sessions.size() > 1 ? " into " + std::to_string(sessions.size()) + " devices" : "")
                  << "\n";
    }
    for (auto& session : sessions) {
        session->Start(true);
    }
    const auto started = CDeviceSession::Clock::now();
    const bool completed = RunSessions(sessions, stop, [&] {
        for (size_t k = 0; k < sessions.size(); ++k) {
            view.Update(k, LineFor(*sessions[k]));
        }
        view.Render();
    });
    const double seconds = std::chrono::duration<double>(CDeviceSession::Clock::now() - started).count();

    SessionResult worst = SessionResult::Succeeded;
    int32_t bytes = 0;
    for (const auto& session : sessions) {
        worst = WorstOf(worst, session->Result());
        bytes += session->BytesSent();
    }
    int status = completed ? ExitCodeFor(worst) : kExitInterrupted;

    // What went into which board, hashed as the file is now: each device read it moments ago.
    CFlashLogger log(FlashLogPath(parsed.logPath, parsed.noLog));
    std::string sha256;
    std::string hashError;
    if (!log.Path().empty() && !station::Sha256OfFile(parsed.file, &sha256, &hashError)) {
        sha256.clear();
    }
    for (const auto& session : sessions) {
        log.Record(station::SessionEnd(*session, sha256));
    }
    if (log.Failed() && status == kExitOk) {
        status = kExitWriteFailed;
    }

    if (json) {
        std::cout << FlashJson(parsed.file, sessions, status);
    } else {
        if (sessions.size() > 1) {
            std::cout << SummaryTable(sessions);
        }
        const double sendSeconds = sessions.size() == 1 ? sessions.front()->ProgramSeconds() : seconds;
        std::cout << ClosingLine(bytes, sendSeconds, sessions.size());
    }
    std::cout.flush();
    for (const auto& session : sessions) {
        if (session->Result() != SessionResult::Succeeded) {
            std::cerr << "brenwick-cli flash: " << Printable(session->Port()) << ": " << session->Message()
                      << "\n";
        }
    }
    return FinishOutput(status, "flash");
}

} // namespace brenwick::cli
