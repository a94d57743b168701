#pragma once

#include "protocol/ProtocolTypes.h"

#include <array>
#include <cstdint>

namespace brenwick {

// Puts the device's messages back together from the bytes as they arrive, in pieces of any size. A frame has
// no start byte and no checksum: its header's length alone says where it ends. A message of which only a part
// arrived is dropped once the line stayed quiet for a few idle steps of the link, so that the next byte
// starts a new one.
class CMessageAssembler {
  public:
    // Takes one byte; true when it completed a message, which Message() and Length() show until the next
    // byte.
    bool Take(uint8_t b);
    const uint8_t* Message() const { return m_Buffer.data(); }
    int Length() const { return m_Count; }
    // True while a message is half-way.
    bool Partial() const { return m_Step != Step::Header; }
    // One idle step of the link: the fifth in a row without a byte drops a message left half-way.
    void IdleStep();
    void Reset() { m_Step = Step::Header; }

  private:
    enum class Step { Header, HeaderSecond, Body };

    Step m_Step = Step::Header;
    int m_Count = 0;
    int m_Expected = 0;
    int m_QuietSteps = 0;
    std::array<uint8_t, protocol::kRxBufferSize> m_Buffer{};
};

} // namespace brenwick
