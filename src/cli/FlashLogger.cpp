#include "cli/FlashLogger.h"

#include "cli/Output.h"
#include "station/BoardRecord.h"
#include "station/FlashLog.h"

#include <iostream>

namespace brenwick::cli {

void CFlashLogger::Record(const station::BoardEnd& end) {
    if (m_Path.empty()) {
        return;
    }
    std::string error;
    if (!station::AppendFlashRecord(m_Path, station::RecordOf(end), &error)) {
        std::cerr << "brenwick-cli flash: flash log " << Printable(m_Path) << ": " << error << " (the run on "
                  << Printable(end.board.port) << " is not recorded)\n";
        m_Failed = true;
    }
}

std::string FlashLogPath(const std::string& given, bool off) {
    if (off) {
        return "";
    }
    return given.empty() ? station::DefaultFlashLogPath() : given;
}

} // namespace brenwick::cli
