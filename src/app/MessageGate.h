#pragma once

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace brenwick::app {

// Lets the link worker show a message on the GUI thread and wait until the operator has closed it. Close()
// releases a waiting worker at once and turns later requests away, so that stopping the worker never waits
// on a message box.
class CMessageGate {
  public:
    using Show = std::function<void(const std::string&)>;

    // `show` runs on the thread of `context`; the requests stop reaching it once `context` is gone.
    CMessageGate(QObject* context, Show show);
    ~CMessageGate();
    CMessageGate(const CMessageGate&) = delete;
    CMessageGate& operator=(const CMessageGate&) = delete;

    // Any thread but the context's: returns when the message was closed, or at once after Close().
    void ShowAndWait(const std::string& text);
    // The context's thread: from now on nothing waits.
    void Close();

  private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;
        uint64_t requested = 0;
        uint64_t finished = 0;
    };

    QPointer<QObject> m_Context;
    Show m_Show;
    std::shared_ptr<Shared> m_Shared = std::make_shared<Shared>();
};

} // namespace brenwick::app
