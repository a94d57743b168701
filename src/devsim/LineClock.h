#pragma once

#include "devsim/DeviceFrame.h"

#include <chrono>
#include <cstddef>

namespace brenwick {

namespace devsim {

// Line time of a UART at a given rate: every byte costs ten bits (start, eight data, stop). A rate of 0 means
// an unpaced line on which bytes cost nothing.
class CLineClock {
  public:
    explicit CLineClock(int baud) : m_Baud(baud) {}

    bool Paced() const { return m_Baud > 0; }
    std::chrono::nanoseconds WireTime(size_t bytes) const;

    // When a message of `bytes` bytes whose first byte was seen at `firstByte` has wholly crossed the line:
    // messages follow each other on the line, so one cannot start before the previous one ended.
    Clock::time_point Arrived(Clock::time_point firstByte, size_t bytes);

    // Bytes per write when sending paced: about 5 ms worth, at least one.
    size_t ChunkSize() const;

  private:
    int m_Baud;
    Clock::time_point m_LineFree{};
};

} // namespace devsim

} // namespace brenwick
