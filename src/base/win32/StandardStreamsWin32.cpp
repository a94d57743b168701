#include "base/StandardStreams.h"

namespace brenwick {

// Nothing to repair, so nothing is looked at. Windows gives out handle values in no order of its own and
// never makes a handle it opens a standard one: those are only what the parent passed or SetStdHandle set,
// so a missing standard output cannot become the port the way a free descriptor 1 does. The C runtime keeps
// its descriptors 0 to 2 for the standard streams even when the process got no handle for them, so its own
// opens cannot take those numbers either. Output written to a stream the process did not get fails, and is
// reported as an output error.
bool EnsureStandardStreams() {
    return true;
}

} // namespace brenwick
