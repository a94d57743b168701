#include "serial/SyncEvent.h"

#include <chrono>

namespace brenwick::serial {

void CSyncEvent::Set() {
    {
        std::lock_guard lock(m_Mutex);
        m_Signalled = true;
    }
    if (m_ManualReset) {
        m_Changed.notify_all();
    } else {
        m_Changed.notify_one();
    }
}

void CSyncEvent::Reset() {
    std::lock_guard lock(m_Mutex);
    m_Signalled = false;
}

bool CSyncEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock lock(m_Mutex);
    const auto signalled = [this] { return m_Signalled; };
    if (timeoutMs == 0xFFFFFFFFu) {
        m_Changed.wait(lock, signalled);
    } else if (!m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled)) {
        return false;
    }
    if (!m_ManualReset) {
        m_Signalled = false;
    }
    return true;
}

} // namespace brenwick::serial
