#include "serial/DeviceWatcher.h"

#include "serial/DeviceSource.h"

#include <algorithm>
#include <set>

namespace brenwick::serial {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kLongest = std::chrono::hours(24 * 365);
using serial_detail::Sighting;

// Brings `known` up to date with what the source saw and says what changed. A device seen again with
// another node behind its name went and came.
void Reconcile(std::map<std::string, SerialPortInfo>& known, const std::vector<Sighting>& seen, bool complete,
               std::vector<DeviceEvent>& events) {
    if (complete) {
        std::set<std::string> present;
        for (const Sighting& sighting : seen) {
            if (sighting.port) {
                present.insert(sighting.key);
            }
        }
        for (auto it = known.begin(); it != known.end();) {
            if (present.count(it->first) == 0) {
                events.push_back({DeviceEvent::Kind::Gone, std::move(it->second)});
                it = known.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const Sighting& sighting : seen) {
        const auto it = known.find(sighting.key);
        if (it != known.end() && (!sighting.port || sighting.port->path != it->second.path)) {
            events.push_back({DeviceEvent::Kind::Gone, std::move(it->second)});
            known.erase(it);
        }
        if (sighting.port && known.count(sighting.key) == 0) {
            events.push_back({DeviceEvent::Kind::Appeared, *sighting.port});
            known.emplace(sighting.key, *sighting.port);
        }
    }
}

} // namespace

CDeviceWatcher::CDeviceWatcher(std::string folder) : m_Source(serial_detail::OpenDeviceSource(folder)) {
    Reconcile(m_Known, m_Source->List(), true, m_Initial);
}

CDeviceWatcher::~CDeviceWatcher() = default;

std::vector<DeviceEvent> CDeviceWatcher::Wait(std::chrono::milliseconds timeout) {
    using std::chrono::milliseconds;
    // A year stands for "for ever" without overflowing the clock.
    const Clock::time_point deadline = Clock::now() + std::clamp(timeout, milliseconds(0), kLongest);
    const auto left = [&] {
        return std::max(std::chrono::ceil<milliseconds>(deadline - Clock::now()), milliseconds(0));
    };
    std::vector<DeviceEvent> events = std::move(m_Initial);
    m_Initial.clear();
    for (;;) {
        if (!m_Source->Error().empty()) {
            if (events.empty()) {
                m_Woken.Wait(static_cast<uint32_t>(std::min<milliseconds::rep>(left().count(), 0x7FFFFFFF)));
            }
            return events;
        }
        // Changes already in hand are returned with whatever else is there, without waiting for more.
        const serial_detail::SourceNews news = m_Source->Wait(events.empty() ? left() : milliseconds(0));
        Reconcile(m_Known, news.seen, news.complete, events);
        // An entry that is no device yet (a dangling link) changes nothing: wait on.
        if (news.woken || !events.empty() || left() == milliseconds(0)) {
            if (news.woken) {
                m_Woken.Reset();
            }
            return events;
        }
    }
}

void CDeviceWatcher::Wake() {
    m_Source->Wake();
    m_Woken.Set();
}

const std::string& CDeviceWatcher::Error() const {
    return m_Source->Error();
}

} // namespace brenwick::serial
