#include "widgets/AnnounceThrottle.h"

#include <utility>

namespace brenwick::widgets {

CAnnounceThrottle::CAnnounceThrottle(int intervalMs, std::function<void()> announce)
    : m_Announce(std::move(announce)) {
    m_Timer.setSingleShot(true);
    m_Timer.setInterval(intervalMs);
    QObject::connect(&m_Timer, &QTimer::timeout, &m_Timer, [this] { OnIntervalEnd(); });
}

void CAnnounceThrottle::Request() {
    if (m_Timer.isActive()) {
        m_Pending = true;
        return;
    }
    m_Announce();
    m_Timer.start();
}

void CAnnounceThrottle::OnIntervalEnd() {
    if (m_Pending) {
        m_Pending = false;
        m_Announce();
        m_Timer.start();
    }
}

} // namespace brenwick::widgets
