#pragma once

#include "document/RunReport.h" // ProductIdText

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brenwick::cli {

// Device texts may hold any bytes; control characters would move a terminal's cursor or break a line-based
// log, so they are shown as '?'.
std::string Printable(std::string_view text);

// Rows of cells as lines of columns two spaces apart, each column as wide as its widest cell; the last one is
// not padded, since it may hold spaces.
std::string ColumnText(std::vector<std::vector<std::string>> rows);

// Flushes standard output; when anything written to it was lost (a full disk, a closed pipe) the run ends
// with the output error, unless it already has a worse status to report. The message is printed once.
int FinishOutput(int status, const char* command);

} // namespace brenwick::cli
