#include "devsim/LineClock.h"

#include <algorithm>

namespace brenwick {

namespace devsim {

std::chrono::nanoseconds CLineClock::WireTime(size_t bytes) const {
    if (m_Baud <= 0) {
        return std::chrono::nanoseconds{0};
    }
    const auto bits = static_cast<long double>(bytes) * 10.0L;
    return std::chrono::nanoseconds{static_cast<int64_t>(bits * 1e9L / static_cast<long double>(m_Baud))};
}

Clock::time_point CLineClock::Arrived(Clock::time_point firstByte, size_t bytes) {
    if (!Paced()) {
        return firstByte;
    }
    const auto start = std::max(firstByte, m_LineFree);
    m_LineFree = start + std::chrono::duration_cast<Clock::duration>(WireTime(bytes));
    return m_LineFree;
}

size_t CLineClock::ChunkSize() const {
    if (!Paced()) {
        return kLargestMessage;
    }
    return std::max<size_t>(1, static_cast<size_t>(m_Baud) / 2000);
}

} // namespace devsim

} // namespace brenwick
