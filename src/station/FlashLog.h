#pragma once

#include "station/FlashRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brenwick::station {

// The flash log: every flash run, from the command line or the window, appends one line per board, a JSON
// object (JSON Lines). Keys are snake_case: time, station, operator, port, device, serial_number, product_id,
// boot_revision, flash_revision, firmware, sha256, stamped_length, stamped_sum, passed, result, reason,
// bytes_sent, seconds, version.

// The record as one line of JSON, without the line end. Text that is not valid UTF-8 (a device's name, a
// file name) has its bad bytes replaced by U+FFFD, so the line always parses.
std::string FlashRecordJson(const FlashRecord& record);

// The record a line holds. Keys that are missing (a line of an older or newer program) keep their defaults,
// and keys the program does not know are ignored; a line that is not a JSON object, or a known key with a
// value of another type, is an error.
std::optional<FlashRecord> ParseFlashRecord(std::string_view line, std::string* error);

// Every field as text, named by its key, in the log's order (for CSV): numbers as in the JSON, true/false.
std::vector<std::pair<std::string, std::string>> FlashRecordFields(const FlashRecord& record);

// Linux: $XDG_STATE_HOME/brenwick/flash-log.jsonl, or ~/.local/state/brenwick/flash-log.jsonl;
// Windows: %LOCALAPPDATA%\Brenwick\flash-log.jsonl.
std::string DefaultFlashLogPath();

// Appends the record's line, creating the log and its missing folders. The log must be a regular file (a
// symbolic link to one is followed). Writers take turns through a lock, waiting a few seconds at most; the
// line goes in with its line end in one write and is flushed to the disk, so that it is in whole or not at
// all and two programs appending at once never mix their lines. False with `error` set otherwise.
bool AppendFlashRecord(const std::string& path, const FlashRecord& record, std::string* error);

struct FlashLogContents {
    std::vector<FlashRecord> records;
    std::vector<std::string> warnings; // "line 7: skipped: ..." for each line that could not be read
};

// Reads every record of the log. A regular file only: anything else is refused without waiting. Lines that
// cannot be read are skipped with a warning naming their number, and so is a last line without its line end
// that does not parse (a write that a power cut tore); empty lines are ignored. False with `error` set when
// the log cannot be opened or read.
bool ReadFlashLog(const std::string& path, FlashLogContents* contents, std::string* error);

// Now, in the log's form: "2026-12-08T05:40:12Z".
std::string NowUtcIso8601();
// Seconds since 1970-01-01T00:00:00Z of a time in that form, or of a day's start given as "2026-12-08";
// nothing for any other text or a date that does not exist.
std::optional<int64_t> ParseUtcTime(std::string_view text);

// The station's host name and the operator's user name for a record.
std::string StationName();
std::string OperatorName();

} // namespace brenwick::station
