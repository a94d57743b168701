#include "document/NotifyLoop.h"

namespace brenwick {

CNotifyLoop::CNotifyLoop(Handler handler) : m_Handler(std::move(handler)), m_Thread([this] { Run(); }) {}

CNotifyLoop::~CNotifyLoop() {
    {
        std::lock_guard lock(m_Mutex);
        m_Stopping = true;
    }
    m_Wake.notify_one();
    m_Thread.join();
}

void CNotifyLoop::Post(uint32_t message, uint32_t wParam, intptr_t lParam) {
    {
        std::lock_guard lock(m_Mutex);
        m_Queue.push_back([this, message, wParam, lParam] { m_Handler(message, wParam, lParam); });
    }
    m_Wake.notify_one();
}

void CNotifyLoop::Run() {
    std::unique_lock lock(m_Mutex);
    for (;;) {
        m_Wake.wait(lock, [this] { return m_Stopping || !m_Queue.empty(); });
        if (m_Queue.empty()) {
            return; // stopping, and everything queued has run
        }
        std::function<void()> task = std::move(m_Queue.front());
        m_Queue.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

} // namespace brenwick
