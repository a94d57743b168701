#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace brenwick::app {

// SIGTERM, SIGINT and SIGHUP (shutdown, Ctrl+C, logout) reach the event loop as one signal, through a pipe
// the handler writes to, so that the program closes as File > Exit does.
class CStopSignals : public QObject {
    Q_OBJECT

  public:
    explicit CStopSignals(QObject* parent = nullptr);
    ~CStopSignals() override; // restores the default handling

  signals:
    void StopRequested(int signalNumber);

  private:
    void OnReadable();

    std::unique_ptr<QSocketNotifier> m_Notifier;
};

} // namespace brenwick::app
