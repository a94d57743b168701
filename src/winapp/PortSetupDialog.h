#pragma once

#include "serial/PortDiscovery.h"

#include <string>
#include <vector>
#include <windows.h>

namespace brenwick::winapp {

// "Serial COM Port Selection" on template 133: the COM ports present in natural order (a name may be typed
// instead), the thirteen baud lines, OK and Cancel. The caller primes `portName` and `baudIndex` and reads
// them back after OK; Cancel, Escape and the close box leave them as they were.
struct PortSetup {
    std::string portName;
    int baudIndex = 0;
    std::vector<serial::SerialPortInfo> ports; // what the list offers: the ports present
    int result = 0;                            // IDOK or IDCANCEL once the dialog has ended
    bool modal = true;                         // set by the two calls below
};

// Runs the dialog modally over `owner`; true after OK.
bool RunPortSetupDialog(HWND owner, PortSetup& setup);
// The same dialog without a modal loop (tests drive it by messages); it destroys itself when it ends.
HWND CreatePortSetupDialog(HWND owner, PortSetup& setup);

} // namespace brenwick::winapp
