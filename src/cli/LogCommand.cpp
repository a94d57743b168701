#include "base/Utf8Path.h"
#include "cli/ArgScanner.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "station/FlashLog.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace brenwick::cli {

namespace {

using station::FlashRecord;

constexpr const char* kUsage =
    "usage: brenwick-cli log [--log FILE] [--serial SN] [--since DATE] [--failed] [--csv | --json]\n"
    "\n"
    "Shows the flash log, one record per board and run: by default a table of time, port, serial number,\n"
    "firmware file, result, bytes and seconds, in the order they were written.\n"
#ifdef _WIN32
    "  --log FILE     the log to read (default: %LOCALAPPDATA%\\Brenwick\\flash-log.jsonl)\n"
#else
    "  --log FILE     the log to read (default: $XDG_STATE_HOME/brenwick/flash-log.jsonl, or\n"
    "                 ~/.local/state/brenwick/flash-log.jsonl)\n"
#endif
    "  --serial SN    only the records of this serial number (exact match)\n"
    "  --since DATE   only records at or after DATE, in UTC: YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ\n"
    "  --failed       only the runs that did not pass\n"
    "  --csv          CSV (RFC 4180, lines end in CRLF): a header row of the field names, then every field\n"
    "  --json         the records as JSON Lines, one object a line, with the log's fields\n"
    "Lines of the log that cannot be read are skipped with a warning on standard error. A log that does\n"
    "not exist yet holds no records: a note on standard error names it, and the output is what an empty\n"
    "log gives (only the header row for --csv), with status 0.\n"
    "Exit status: 0 success (no records included), 2 usage, 3 the log cannot be read, 6 output cannot be\n"
    "written.\n";

struct Selection {
    std::string serial;
    std::optional<int64_t> since; // seconds since 1970
    bool failedOnly = false;

    bool Takes(const FlashRecord& r) const {
        if (!serial.empty() && r.serialNumber != serial) {
            return false;
        }
        if (failedOnly && r.passed) {
            return false;
        }
        if (since) {
            const auto time = station::ParseUtcTime(r.time); // a record without a time is of no known day
            return time && *time >= *since;
        }
        return true;
    }
};

// The file's name without its folders, whichever system's separators the log's path has.
std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : Printable(text);
}

std::string Table(const std::vector<const FlashRecord*>& records) {
    std::vector<std::vector<std::string>> rows = {
        {"TIME", "PORT", "SERIAL", "FIRMWARE", "RESULT", "BYTES", "SECONDS"}};
    for (const FlashRecord* r : records) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", r->seconds);
        rows.push_back({OrDash(r->time), OrDash(r->port), OrDash(r->serialNumber),
                        OrDash(FileName(r->firmware)), OrDash(r->result), std::to_string(r->bytesSent),
                        seconds});
    }
    return ColumnText(std::move(rows));
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') {
            quoted += '"'; // doubled
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvRow(const std::vector<std::string>& fields) {
    std::string row;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) {
            row += ',';
        }
        row += CsvField(fields[k]);
    }
    return row + "\r\n";
}

std::string Csv(const std::vector<const FlashRecord*>& records) {
    std::vector<std::string> header;
    for (const auto& [key, text] : station::FlashRecordFields(FlashRecord{})) {
        header.push_back(key);
    }
    std::string csv = CsvRow(header);
    for (const FlashRecord* r : records) {
        std::vector<std::string> row;
        for (auto& field : station::FlashRecordFields(*r)) {
            row.push_back(std::move(field.second));
        }
        csv += CsvRow(row);
    }
    return csv;
}

int Usage(const std::string& error) {
    std::cerr << "brenwick-cli log: " << error << "\n" << kUsage;
    return kExitUsage;
}

} // namespace

int RunLog(const CommandArgs& args) {
    CArgScanner scan(args);
    std::string path;
    Selection selection;
    bool csv = false;
    bool json = false;
    while (!scan.Done()) {
        if (scan.Flag("--help") || scan.Flag("-h")) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (auto value = scan.Value("--log")) {
            path = *value;
        } else if (auto serial = scan.Value("--serial")) {
            selection.serial = *serial;
        } else if (auto since = scan.Value("--since")) {
            selection.since = station::ParseUtcTime(*since);
            if (!selection.since) {
                return Usage("--since takes a date as YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ (UTC), not '" +
                             *since + "'");
            }
        } else if (!scan.Error().empty()) {
            return Usage(scan.Error());
        } else if (scan.Flag("--failed")) {
            selection.failedOnly = true;
        } else if (scan.Flag("--csv")) {
            csv = true;
        } else if (scan.Flag("--json")) {
            json = true;
        } else {
            return Usage("unexpected argument '" + scan.Peek() + "'");
        }
    }
    if (csv && json) {
        return Usage("--csv and --json cannot be given together");
    }
    if (path.empty()) {
        path = station::DefaultFlashLogPath();
    }

    station::FlashLogContents log;
    std::string error;
    std::error_code ec;
    if (std::filesystem::status(PathFromUtf8(path), ec).type() == std::filesystem::file_type::not_found) {
        // Nothing has been flashed here yet: for a script that is an empty log, not a failure.
        std::cerr << "brenwick-cli log: " << Printable(path) << ": no flash log yet\n";
    } else if (!station::ReadFlashLog(path, &log, &error)) {
        std::cerr << "brenwick-cli log: " << Printable(error) << "\n";
        return kExitLogUnreadable;
    }
    for (const std::string& warning : log.warnings) {
        std::cerr << "brenwick-cli log: " << Printable(path) << ": " << Printable(warning) << "\n";
    }

    std::vector<const FlashRecord*> chosen;
    for (const FlashRecord& record : log.records) {
        if (selection.Takes(record)) {
            chosen.push_back(&record);
        }
    }
    if (csv) {
        std::cout << Csv(chosen);
    } else if (json) {
        for (const FlashRecord* r : chosen) {
            std::cout << station::FlashRecordJson(*r) << "\n";
        }
    } else if (!chosen.empty()) {
        std::cout << Table(chosen);
    } else if (!log.records.empty()) {
        std::cerr << "brenwick-cli log: no records match\n";
    }
    return FinishOutput(kExitOk, "log");
}

} // namespace brenwick::cli
