#pragma once

#include "serial/NotifyTarget.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A pseudo-terminal: the port under test opens `path` (the slave side); the test plays the far end of the
// line on `master`. The test keeps its own slave descriptor so that closing the port never hangs up the line.
class PtyPair {
  public:
    PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    ~PtyPair();

    // Sends bytes to the port as the device would.
    void SendFromDevice(const std::string& bytes) const;
    // Everything the port sent that arrives within `waitMs`.
    std::string ReceiveAtDevice(int waitMs) const;
    // The device goes away (as a USB unplug): the port's side is hung up.
    void HangUp();

    std::string path;
    int master = -1;
    int slave = -1;
};

size_t OpenDescriptorCount();
size_t ThreadCount();
// Output speed as the kernel reports it for the tty behind `fd` (TCGETS2 on the test's own descriptor).
uint32_t KernelOutputSpeed(int fd);

// A notification target that records every post.
class RecordingTarget : public brenwick::serial::ISerialNotifyTarget {
  public:
    struct Posted {
        uint32_t message;
        uint32_t wParam;
        intptr_t lParam;
    };
    void Post(uint32_t message, uint32_t wParam, intptr_t lParam) override;
    // Waits until at least `count` posts arrived; false when `waitMs` ran out first.
    bool WaitForCount(size_t count, int waitMs);
    std::vector<Posted> Snapshot();

  private:
    std::mutex m_Mutex;
    std::condition_variable m_Arrived;
    std::vector<Posted> m_Posts;
};
