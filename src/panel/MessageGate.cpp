#include "panel/MessageGate.h"

#include <chrono>

namespace brenwick::panel {

CMessageGate::CMessageGate(Post post, Show show) : m_Post(std::move(post)), m_Show(std::move(show)) {}

CMessageGate::~CMessageGate() {
    Close();
}

void CMessageGate::ShowAndWait(const std::string& text) {
    const auto shared = m_Shared;
    uint64_t ticket = 0;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed) {
            return;
        }
        ticket = ++shared->requested;
    }
    const Show show = m_Show;
    const bool queued = m_Post([shared, show, text, ticket] {
        bool closed = false;
        {
            std::lock_guard lock(shared->mutex);
            closed = shared->closed;
        }
        if (!closed) {
            show(text);
        }
        std::lock_guard lock(shared->mutex);
        shared->finished = std::max(shared->finished, ticket);
        shared->changed.notify_all();
    });
    if (!queued) {
        return; // the window is gone
    }
    std::unique_lock lock(shared->mutex);
    // The operator may take a while; the wait ends when the box closes or the gate does.
    while (!shared->closed && shared->finished < ticket) {
        shared->changed.wait_for(lock, std::chrono::milliseconds(250));
    }
}

void CMessageGate::Close() {
    std::lock_guard lock(m_Shared->mutex);
    m_Shared->closed = true;
    m_Shared->changed.notify_all();
}

} // namespace brenwick::panel
