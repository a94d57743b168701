#include "protocol/MessageAssembler.h"

#include "protocol/MessageFrame.h"

namespace brenwick {

bool CMessageAssembler::Take(uint8_t b) {
    m_QuietSteps = protocol::kIdleResetCount;
    switch (m_Step) {
    case Step::Header:
        m_Buffer[0] = b;
        m_Step = Step::HeaderSecond;
        return false;
    case Step::HeaderSecond:
        m_Buffer[1] = b;
        m_Count = 2;
        m_Expected = frame::ReceiveLength(frame::HeaderWord(m_Buffer.data()));
        m_Step = m_Expected == 2 ? Step::Header : Step::Body;
        return m_Step == Step::Header;
    case Step::Body:
        m_Buffer[static_cast<size_t>(m_Count++)] = b;
        // A length field of 1 is short of its own header: the next byte completes it.
        if (m_Count >= m_Expected) {
            m_Step = Step::Header;
            return true;
        }
        return false;
    }
    return false;
}

void CMessageAssembler::IdleStep() {
    if (m_QuietSteps > 0 && --m_QuietSteps == 0) {
        Reset();
    }
}

} // namespace brenwick
