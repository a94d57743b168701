#pragma once

#include "serial/SyncEvent.h"

#include <atomic>
#include <cstdint>

namespace brenwick::serial {

// The completion object a caller may hand to WriteBytes, ReadBytes and WaitEvent of a port opened for
// overlapped I/O. The port finishes the operation within the call (bounded by the call's time-out) and then
// records the outcome here and signals `done`, so a caller that waits on `done` sees every completion.
struct SerialCompletion {
    CSyncEvent done{true};                // manual-reset; the caller resets it before reusing the object
    std::atomic<int32_t> result{0};       // the operation's error code
    std::atomic<uint32_t> transferred{0}; // bytes written or read (0 for WaitEvent)
};

// Records an operation's outcome in a caller's completion object (none: nothing to do) and signals it.
inline void CompleteWith(SerialCompletion* completion, int32_t result, uint32_t transferred) {
    if (completion != nullptr) {
        completion->result.store(result);
        completion->transferred.store(transferred);
        completion->done.Set();
    }
}

} // namespace brenwick::serial
