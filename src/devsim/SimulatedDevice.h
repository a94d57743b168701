#pragma once

#include "devsim/DeviceSimOptions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brenwick {

class UniqueFd;
namespace devsim {
class CBootLoader;
struct PtyPair;
} // namespace devsim

// A simulated boot loader on a pseudo-terminal: a host opens PortPath() like a serial port and talks to it.
// Serves on its own thread from Start() until Stop() (or the destructor), or until it hangs up on purpose.
// The snapshots and waits may be called from any thread.
class CSimulatedDevice {
  public:
    explicit CSimulatedDevice(DeviceSimOptions options);
    ~CSimulatedDevice();
    CSimulatedDevice(const CSimulatedDevice&) = delete;
    CSimulatedDevice& operator=(const CSimulatedDevice&) = delete;

    // Opens the pseudo-terminal (and the link, if asked for) and starts serving. False with a sentence in
    // *error when the options are not servable or the terminal cannot be opened.
    bool Start(std::string* error);
    void Stop();

    const std::string& PortPath() const { return m_PortPath; }

    // Called on the device's thread right after it closed the line on purpose; set before Start.
    void SetHangUpHandler(std::function<void()> handler) { m_OnHangUp = std::move(handler); }

    std::vector<std::vector<uint8_t>> ReceivedMessages() const; // every complete message, in order
    size_t ReceivedCount() const;
    std::vector<uint8_t> Flash() const; // flashSize bytes, erased = 0xFF
    uint8_t Status() const;
    int PagesReceived() const; // DataItems since the last Prepare or Begin
    int SessionsEnded() const; // End commands handled
    bool HungUp() const { return m_HungUp.load(); }
    void SetSilent(bool silent) { m_Silent.store(silent); }
    // Refuses page K of each run from now on; 0 accepts every page (a board that was mended between runs).
    void SetNakPage(int page);

    // Blocking helpers for tests: true when the condition holds before the time-out.
    bool WaitForMessages(size_t count, int timeoutMs) const;
    bool WaitForSessionsEnded(int count, int timeoutMs) const;
    bool WaitForHangUp(int timeoutMs) const;

    // Writes the whole flash to `path` (through a temporary file and a rename).
    bool WriteFlashFile(const std::string& path, std::string* error) const;
    // Writes the flash to the flashOut file unless it already holds the current contents (the device writes
    // it itself at each End). True when there was nothing to do or the write succeeded.
    bool SaveFlashOut(std::string* error);

  private:
    void Serve();
    // Both return false when the device must stop serving (stopped, or hung up).
    bool HandleFrame(const std::vector<uint8_t>& frame, std::chrono::steady_clock::time_point due);
    // Writes the reply as if its first bit went on the line at `start`.
    bool SendReply(const std::vector<uint8_t>& reply, std::chrono::steady_clock::time_point start);
    void HangUp();
    void ClearExclusiveAfterClose();

    template <class Predicate>
    bool WaitFor(int timeoutMs, Predicate done) const;

    DeviceSimOptions m_Options;
    std::string m_PortPath;
    std::unique_ptr<devsim::PtyPair> m_Pty;
    std::unique_ptr<UniqueFd> m_Wake;       // eventfd: Stop() wakes the thread through it
    std::unique_ptr<UniqueFd> m_CloseWatch; // inotify on the port: a host closed it
    std::thread m_Thread;
    std::function<void()> m_OnHangUp;

    mutable std::mutex m_Mutex;
    mutable std::condition_variable m_Changed;
    std::unique_ptr<devsim::CBootLoader> m_Boot;  // guarded by m_Mutex
    std::vector<std::vector<uint8_t>> m_Received; // guarded by m_Mutex
    int m_SessionsEnded = 0;                      // guarded by m_Mutex
    uint64_t m_FlashGeneration = 0;               // guarded by m_Mutex; counts changes of the flash
    uint64_t m_SavedGeneration = 0;               // guarded by m_Mutex; the generation in the flashOut file
    bool m_Serving = false;                       // guarded by m_Mutex

    std::atomic<bool> m_Silent{false};
    bool m_Stalled = false;                               // device thread only: the line is no longer read
    std::chrono::steady_clock::time_point m_QuietUntil{}; // device thread only: no answers before then
    std::atomic<bool> m_HungUp{false};
    bool m_Started = false;
};

} // namespace brenwick
