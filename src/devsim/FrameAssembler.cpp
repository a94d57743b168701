#include "devsim/FrameAssembler.h"

namespace brenwick {

namespace devsim {

void CFrameAssembler::Feed(std::span<const uint8_t> bytes, Clock::time_point now,
                           std::vector<ReceivedFrame>& out) {
    if (!bytes.empty()) {
        m_LastByte = now;
    }
    for (const uint8_t b : bytes) {
        if (m_Current.bytes.empty()) {
            m_Current.firstByte = now;
            m_Current.bytes.reserve(64);
        }
        m_Current.bytes.push_back(b);
        if (m_Current.bytes.size() == 2) {
            m_Expected = FrameLength(m_Current.bytes[0], m_Current.bytes[1]);
        }
        if (m_Current.bytes.size() >= 2 && m_Current.bytes.size() == m_Expected) {
            out.push_back(std::move(m_Current));
            m_Current = ReceivedFrame{};
        }
    }
}

} // namespace devsim

} // namespace brenwick
