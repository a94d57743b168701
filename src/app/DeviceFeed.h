#pragma once

#include "serial/DeviceWatcher.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace brenwick::app {

// A serial device that came or went.
struct DeviceChange {
    bool appeared = true;
    serial::SerialPortInfo port;
};

// Where the production view hears of devices: the device watcher's thread, the demo's boards being plugged
// in, or a test. The signals come on the GUI thread.
class CDeviceFeed : public QObject {
    Q_OBJECT

  public:
    explicit CDeviceFeed(QObject* parent = nullptr) : QObject(parent) {}

    // Emits the change as Appeared or Gone; GUI thread only.
    void Tell(const DeviceChange& change);
    // Why no device will ever come from this feed (the system refused the watch), or "" when it works.
    const QString& Problem() const { return m_Problem; }
    void SetProblem(QString problem) { m_Problem = std::move(problem); }

  signals:
    void Appeared(const brenwick::serial::SerialPortInfo& port);
    void Gone(const brenwick::serial::SerialPortInfo& port);

  private:
    QString m_Problem;
};

// A source that blocks until devices change: wait returns the changes seen within the time given (nothing
// when there were none), wake makes a wait in progress return at once and may be called from any thread.
struct DeviceSource {
    std::function<std::vector<DeviceChange>(std::chrono::milliseconds)> wait;
    std::function<void()> wake;
};

// A feed over a blocking source: a thread of its own waits on it, a second at a time so that a stop is never
// missed for long, and hands every change to the GUI thread in the order seen.
class CThreadedDeviceFeed : public CDeviceFeed {
  public:
    explicit CThreadedDeviceFeed(DeviceSource source, QObject* parent = nullptr);
    // Stops the thread, waking its wait, and joins it; changes not yet handed over are dropped.
    ~CThreadedDeviceFeed() override;

  private:
    void Run(const std::stop_token& stop);

    DeviceSource m_Source;
    std::jthread m_Thread; // last: it uses the members above
};

// The serial devices whose links come and go in `folder` (the system's by-id folder by default), from the
// device watcher on a thread of its own. The devices present come first.
std::unique_ptr<CDeviceFeed> MakeWatcherFeed(const std::string& folder = serial::DefaultWatchFolder());

} // namespace brenwick::app
