#include "cli/SessionExit.h"

#include "cli/ExitCodes.h"

namespace brenwick::cli {

int ExitCodeFor(SessionResult result) {
    switch (result) {
    case SessionResult::Interrupted:
        return kExitInterrupted;
    case SessionResult::PortFailed:
        return kExitPortFailed;
    case SessionResult::NoAnswer:
        return kExitNoAnswer;
    case SessionResult::LoadFailed:
        return kExitLoadFailed;
    case SessionResult::ProductMismatch:
        return kExitProductMismatch;
    case SessionResult::DeviceError:
        return kExitDeviceError;
    case SessionResult::Succeeded:
        break;
    }
    return kExitOk;
}

} // namespace brenwick::cli
