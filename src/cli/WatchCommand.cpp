#include "cli/ExitCodes.h"
#include "cli/FlashArgs.h"
#include "cli/FlashLogger.h"
#include "cli/JsonWriter.h"
#include "cli/Output.h"
#include "cli/SessionExit.h"
#include "cli/StopSignals.h"
#include "serial/DeviceWatcher.h"
#include "station/BoardRecord.h"
#include "station/ProductionStation.h"
#include "station/Sha256.h"

#include <cstdio>
#include <iostream>

namespace brenwick::cli {

namespace {

constexpr int kStepMs = 50;
// While no board runs, the watcher is asked this often whether a stop request came: it sleeps in between.
constexpr std::chrono::milliseconds kIdleWait{250};

std::string BoardLine(const station::BoardEnd& end) {
    const station::BoardView& board = end.board;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", end.seconds);
    std::string line = Printable(board.port) + "  " +
                       (board.serialNumber.empty() ? "-" : Printable(board.serialNumber)) + "  " +
                       (board.state == station::BoardState::Skipped ? "Skipped" : ResultText(end.result)) +
                       "  " + seconds;
    if (board.state != station::BoardState::Passed && !board.outcome.empty()) {
        line += "  (" + Printable(board.outcome) + ")";
    }
    return line + "\n";
}

std::string BoardJson(const station::BoardEnd& end) {
    const station::BoardView& board = end.board;
    CJsonObject json;
    json.Text("port", board.port)
        .Text("name", end.device.targetName)
        .Text("serial_number", board.serialNumber)
        .Text("result", board.state == station::BoardState::Skipped ? "Skipped" : ResultText(end.result))
        .Bool("passed", board.state == station::BoardState::Passed)
        .Text("message", board.outcome)
        .Number("bytes_sent", end.bytesSent)
        .Real("seconds", end.seconds);
    return json.Str() + "\n";
}

class CWatchOutput {
  public:
    explicit CWatchOutput(bool json) : m_Json(json) {}

    void Ended(const std::vector<station::BoardEnd>& ends, SessionResult& worst) {
        for (const auto& end : ends) {
            std::cout << (m_Json ? BoardJson(end) : BoardLine(end));
            if (end.board.state == station::BoardState::Failed) {
                worst = WorstOf(worst, end.result);
            }
        }
        if (!ends.empty()) {
            std::cout.flush();
        }
    }

    void Totals(const station::CProductionStation& station, int status) {
        if (m_Json) {
            CJsonObject totals;
            totals.Number("passed", station.Passed())
                .Number("failed", station.Failed())
                .Number("skipped", station.Skipped())
                .Number("exit_status", status);
            std::cout << totals.Str() << "\n";
        } else {
            std::cout << "Passed: " << station.Passed() << ", failed: " << station.Failed()
                      << ", skipped: " << station.Skipped() << "\n";
        }
    }

  private:
    bool m_Json;
};

} // namespace

int RunFlashWatch(const FlashArgs& args) {
    CStopSignals stop; // before any thread exists
    serial::CDeviceWatcher watcher(args.watchDir.empty() ? serial::DefaultWatchFolder() : args.watchDir);
    if (!watcher.Error().empty()) {
        std::cerr << "brenwick-cli flash: cannot watch for boards: " << watcher.Error() << "\n";
        return kExitPortFailed;
    }
    station::StationOptions options;
    options.firmware = args.file;
    options.baudIndex = args.link.baudIndex;
    options.timeout = args.link.timeout;
    options.match = args.match;
    options.again = args.again;
    station::CProductionStation station(options, station::Sha256OfFile);
    CFlashLogger log(FlashLogPath(args.logPath, args.noLog));
    CWatchOutput output(args.link.json);

    const std::string where = args.watchDir.empty() ? serial::DefaultWatchFolder() : args.watchDir;
    std::cerr << "Waiting for boards" << (where.empty() ? "" : " in " + Printable(where)) << " to flash "
              << Printable(args.file) << " (Ctrl+C ends)\n";
    SessionResult worst = SessionResult::Succeeded;
    const auto ended = [&](const std::vector<station::BoardEnd>& ends) {
        for (const auto& end : ends) {
            if (station::Recorded(end)) {
                log.Record(end);
            }
        }
        output.Ended(ends, worst);
    };
    for (;;) {
        for (const auto& event : watcher.Wait(station.Running() ? std::chrono::milliseconds(0) : kIdleWait)) {
            if (event.kind == serial::DeviceEvent::Kind::Appeared) {
                station.OnAppeared(event.port);
            } else {
                station.OnGone(event.port);
            }
        }
        ended(station.Step());
        if (stop.WaitFor(station.Running() ? kStepMs : 0)) {
            break;
        }
    }
    ended(station.Interrupt());
    int status = station.Failed() == 0 ? kExitOk : ExitCodeFor(worst);
    if (log.Failed() && status == kExitOk) {
        status = kExitWriteFailed;
    }
    output.Totals(station, status);
    return status;
}

} // namespace brenwick::cli
