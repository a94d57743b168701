#pragma once

#include "serial/SyncEvent.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <system_error>

namespace brenwick::serial {

// An error code that one thread stores while others read it. std::atomic<std::error_code> would not be
// lock-free (a value and a category pointer), so a small lock guards it; reads and assignments work as with
// std::atomic.
class SharedErrorCode {
  public:
    std::error_code load() const {
        std::lock_guard lock(m_Mutex);
        return m_Code;
    }
    void store(std::error_code code) {
        std::lock_guard lock(m_Mutex);
        m_Code = code;
    }
    operator std::error_code() const { return load(); }
    SharedErrorCode& operator=(std::error_code code) {
        store(code);
        return *this;
    }

  private:
    mutable std::mutex m_Mutex;
    std::error_code m_Code;
};

// The completion object a caller may hand to WriteBytes, ReadBytes and WaitEvent of a port opened for
// overlapped I/O. The port finishes the operation within the call (bounded by the call's time-out) and then
// records the outcome here and signals `done`, so a caller that waits on `done` sees every completion.
struct SerialCompletion {
    CSyncEvent done{true};                // manual-reset; the caller resets it before reusing the object
    SharedErrorCode result;               // the operation's error code
    std::atomic<uint32_t> transferred{0}; // bytes written or read (0 for WaitEvent)
};

// Records an operation's outcome in a caller's completion object (none: nothing to do) and signals it.
inline void CompleteWith(SerialCompletion* completion, std::error_code result, uint32_t transferred) {
    if (completion != nullptr) {
        completion->result.store(result);
        completion->transferred.store(transferred);
        completion->done.Set();
    }
}

} // namespace brenwick::serial
