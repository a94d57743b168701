#pragma once

#include "station/ProductionStation.h"

#include <string>

namespace brenwick::cli {

// Appends a line to the flash log for each board's run that ended. A line that cannot be written is said on
// standard error at once, and the run ends with the output error: a station must not lose its records
// unnoticed.
class CFlashLogger {
  public:
    // An empty path turns the log off.
    explicit CFlashLogger(std::string path) : m_Path(std::move(path)) {}

    void Record(const station::BoardEnd& end);
    bool Failed() const { return m_Failed; }
    const std::string& Path() const { return m_Path; }

  private:
    std::string m_Path;
    bool m_Failed = false;
};

// The log a flash run writes to: --log FILE, none with --no-log, else the user's default.
std::string FlashLogPath(const std::string& given, bool off);

} // namespace brenwick::cli
