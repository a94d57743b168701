#pragma once

#include "cli/SessionExit.h"
#include "cli/StopSignals.h"

#include <functional>
#include <memory>
#include <vector>

namespace brenwick::cli {

using SessionList = std::vector<std::unique_ptr<CDeviceSession>>;

// Steps every session about twenty times a second until all have ended, calling tick after each round.
// A stop signal interrupts every session still running (worker stopped, port closed); returns false then.
bool RunSessions(SessionList& sessions, CStopSignals& stop, const std::function<void()>& tick);

} // namespace brenwick::cli
