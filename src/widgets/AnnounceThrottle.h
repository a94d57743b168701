#pragma once

#include <QTimer>
#include <functional>

namespace brenwick::widgets {

// Passes the first of a burst of announcements on at once and then at most one per interval; a request made
// during the interval is delivered when it ends, so the last value is always told.
class CAnnounceThrottle {
  public:
    CAnnounceThrottle(int intervalMs, std::function<void()> announce);

    void Request();

  private:
    void OnIntervalEnd();

    QTimer m_Timer;
    bool m_Pending = false;
    std::function<void()> m_Announce;
};

} // namespace brenwick::widgets
