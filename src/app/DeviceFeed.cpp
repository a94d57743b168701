#include "app/DeviceFeed.h"

#include <QMetaObject>

namespace brenwick::app {

namespace {

constexpr std::chrono::milliseconds kWaitSlice{1000};

} // namespace

void CDeviceFeed::Tell(const DeviceChange& change) {
    if (change.appeared) {
        emit Appeared(change.port);
    } else {
        emit Gone(change.port);
    }
}

CThreadedDeviceFeed::CThreadedDeviceFeed(DeviceSource source, QObject* parent)
    : CDeviceFeed(parent), m_Source(std::move(source)) {
    m_Thread = std::jthread([this](const std::stop_token& stop) { Run(stop); });
}

CThreadedDeviceFeed::~CThreadedDeviceFeed() {
    m_Thread.request_stop();
    if (m_Source.wake) {
        m_Source.wake();
    }
    m_Thread.join();
    // Changes still queued for this object are dropped with it: their context is gone.
}

void CThreadedDeviceFeed::Run(const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        std::vector<DeviceChange> changes = m_Source.wait(kWaitSlice);
        if (changes.empty() || stop.stop_requested()) {
            continue;
        }
        QMetaObject::invokeMethod(
            this,
            [this, changes = std::move(changes)] {
                for (const DeviceChange& change : changes) {
                    Tell(change);
                }
            },
            Qt::QueuedConnection);
    }
}

std::unique_ptr<CDeviceFeed> MakeWatcherFeed(const std::string& folder) {
    // Shared by the feed's thread, which waits on it, and its destructor, which wakes it.
    auto watcher = std::make_shared<serial::CDeviceWatcher>(folder);
    const auto wait = [watcher](std::chrono::milliseconds timeout) {
        std::vector<DeviceChange> changes;
        for (auto& event : watcher->Wait(timeout)) {
            changes.push_back({event.kind == serial::DeviceEvent::Kind::Appeared, std::move(event.port)});
        }
        return changes;
    };
    auto feed = std::make_unique<CThreadedDeviceFeed>(DeviceSource{wait, [watcher] { watcher->Wake(); }});
    if (!watcher->Error().empty()) {
        feed->SetProblem(
            QStringLiteral("Boards cannot be watched for: %1").arg(QString::fromStdString(watcher->Error())));
    }
    return feed;
}

} // namespace brenwick::app
