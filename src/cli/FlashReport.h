#pragma once

#include "cli/SessionExit.h"
#include "cli/SessionRunner.h"

#include <string>

namespace brenwick::cli {

// What a flash run prints when it has ended: the closing line for one device, or a table of every device
// (port, serial number, result, bytes, time) and a closing line for several; and the --json document.
std::string ClosingLine(int32_t bytes, double seconds, size_t devices);
std::string SummaryTable(const SessionList& sessions);
std::string FlashJson(const std::string& file, const SessionList& sessions, int exitStatus);

} // namespace brenwick::cli
