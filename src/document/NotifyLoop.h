#pragma once

#include "serial/NotifyTarget.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace brenwick {

// A small event loop for front ends without a window system (the command line, the tests): port
// notifications are queued from any thread and handled in order on the loop's own thread, which then plays
// the part of the window thread.
class CNotifyLoop : public serial::ISerialNotifyTarget {
  public:
    using Handler = std::function<void(uint32_t message, uint32_t wParam, intptr_t lParam)>;

    explicit CNotifyLoop(Handler handler);
    ~CNotifyLoop() override; // runs what is queued, then ends the thread
    CNotifyLoop(const CNotifyLoop&) = delete;
    CNotifyLoop& operator=(const CNotifyLoop&) = delete;

    void Post(uint32_t message, uint32_t wParam, intptr_t lParam) override;

  private:
    void Run();

    Handler m_Handler;
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::deque<std::function<void()>> m_Queue;
    bool m_Stopping = false;
    std::thread m_Thread; // last: starts after everything it uses exists
};

} // namespace brenwick
