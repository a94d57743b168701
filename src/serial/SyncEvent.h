#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace brenwick::serial {

// A signalled/non-signalled flag that threads can wait for. A manual-reset event stays signalled until
// Reset(); an auto-reset event is consumed by the one Wait() that sees it.
class CSyncEvent {
  public:
    explicit CSyncEvent(bool manualReset) : m_ManualReset(manualReset) {}
    CSyncEvent(const CSyncEvent&) = delete;
    CSyncEvent& operator=(const CSyncEvent&) = delete;

    void Set();
    void Reset();
    // True when signalled, false when timeoutMs ran out; 0xFFFFFFFF waits without limit.
    bool Wait(uint32_t timeoutMs);

  private:
    const bool m_ManualReset;
    bool m_Signalled = false;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
};

} // namespace brenwick::serial
