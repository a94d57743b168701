#pragma once

#include "station/DeviceSession.h"

namespace brenwick::cli {

using station::CDeviceSession;
using station::ResultText;
using station::SessionResult;
using station::WorstOf;

// The exit status a device's result gives the command.
int ExitCodeFor(SessionResult result);

} // namespace brenwick::cli
