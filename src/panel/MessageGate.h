#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace brenwick::panel {

// Lets the link worker show a message on the window's thread and wait until the operator has closed it.
// Close() releases a waiting worker at once and turns later requests away, so that stopping the worker never
// waits on a message box.
class CMessageGate {
  public:
    using Show = std::function<void(const std::string&)>;
    // Queues a task for the window's thread; false when it cannot (the window is gone).
    using Post = std::function<bool(std::function<void()>)>;

    CMessageGate(Post post, Show show);
    ~CMessageGate();
    CMessageGate(const CMessageGate&) = delete;
    CMessageGate& operator=(const CMessageGate&) = delete;

    // Any thread but the window's: returns when the message was closed, or at once after Close().
    void ShowAndWait(const std::string& text);
    // The window's thread: from now on nothing waits.
    void Close();

  private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;
        uint64_t requested = 0;
        uint64_t finished = 0;
    };

    Post m_Post;
    Show m_Show;
    std::shared_ptr<Shared> m_Shared = std::make_shared<Shared>();
};

} // namespace brenwick::panel
