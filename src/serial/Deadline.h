#pragma once

#include "serial/SerialTypes.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace brenwick::serial {

// The end of a call's time-out: the milliseconds left, or -1 when the time-out is INFINITE (poll()'s "no
// limit", and INFINITE again as a Win32 DWORD).
class CDeadline {
  public:
    explicit CDeadline(uint32_t timeout)
        : m_Unlimited(timeout == INFINITE), m_End(Clock::now() + std::chrono::milliseconds(timeout)) {}
    int RemainingMs() const {
        if (m_Unlimited) {
            return -1;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_End - Clock::now()).count();
        return static_cast<int>(std::clamp<decltype(left)>(left, 0, 1 << 30));
    }
    bool Unlimited() const { return m_Unlimited; }

  private:
    using Clock = std::chrono::steady_clock;
    bool m_Unlimited;
    Clock::time_point m_End;
};

} // namespace brenwick::serial
