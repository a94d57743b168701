#pragma once

#include "devsim/DeviceFrame.h"

#include <cstdint>
#include <span>
#include <vector>

namespace brenwick {

namespace devsim {

struct ReceivedFrame {
    std::vector<uint8_t> bytes;
    Clock::time_point firstByte; // when its first byte arrived
};

// Puts the host's messages back together from the bytes as they arrive, in any split. A message of which only
// a part has come is dropped by DropPartial() after a silence, so that junk cannot wedge the receiver.
class CFrameAssembler {
  public:
    // Appends each message completed by `bytes` (which arrived at `now`) to `out`, in order.
    void Feed(std::span<const uint8_t> bytes, Clock::time_point now, std::vector<ReceivedFrame>& out);

    bool HasPartial() const { return !m_Current.bytes.empty(); }
    size_t PartialSize() const { return m_Current.bytes.size(); }
    Clock::time_point LastByteTime() const { return m_LastByte; }
    void DropPartial() { m_Current.bytes.clear(); }

  private:
    ReceivedFrame m_Current;
    size_t m_Expected = 0;
    Clock::time_point m_LastByte{};
};

} // namespace devsim

} // namespace brenwick
