// Sending one message and waiting for its release; reading the port and putting replies back together.
#include "protocol/BrenwickDoc.h"
#include "protocol/MessageFrame.h"
#include "serial/PortErrors.h"
#include "serial/SerialTypes.h"

#include <algorithm>

namespace brenwick {

namespace {

// How long one write may wait for the line: twice the message's time on the wire at the port's rate, and
// never less than a floor. A device that stops reading makes the write time out instead of holding the
// worker for ever.
uint32_t WriteTimeoutMs(uint32_t length, int32_t baud) {
    const uint64_t bitsPerSecond = static_cast<uint64_t>(std::max<int32_t>(baud, 50));
    const uint64_t wireMs = uint64_t{length} * 10u * 1000u / bitsPerSecond;
    return static_cast<uint32_t>(protocol::kWriteTimeoutFloorMs + 2 * wireMs);
}

// Codes with which a write finds the device gone: the line was hung up, the device removed, or the port
// closed under it.
bool LineGone(std::error_code code) {
    return code == serial::PortErrc::NotOpen || serial::DeviceGone(code);
}

} // namespace

bool CBrenwickDoc::SendAndWait(const uint8_t* message) {
    const auto length = static_cast<uint32_t>(frame::SendLength(message));
    m_LastSendFailure = SendFailure::None;
    if (!m_Port.IsOpen()) {
        m_LastSendFailure = SendFailure::NotOpen;
        return false;
    }
    // A late reply to an earlier message must not release this one.
    m_Released = false;
    m_LastRefusal = 0;
    m_hResponseEvent.Reset();
    uint32_t remaining = length;
    const uint8_t* at = message;
    for (int allowance = protocol::kWriteRetries; remaining > 0; --allowance) {
        uint32_t written = 0;
        // The port takes a write and a read at the same time, so a write that waits for the line does not
        // hold the lock the receiver needs.
        const std::error_code code =
            m_Port.WriteBytes(at, remaining, &written, nullptr, WriteTimeoutMs(remaining, m_LineBaud));
        if (code) {
            m_LinkLost = LineGone(code) || m_Port.HungUp();
            m_LastSendFailure = m_LinkLost      ? SendFailure::LineGone
                                : RunStopping() ? SendFailure::Stopped
                                                : SendFailure::WriteStalled;
            return false;
        }
        remaining -= written;
        at += written;
        if (remaining == 0) {
            break;
        }
        // The driver took only part of it: try the rest again shortly, a bounded number of times.
        if (!PauseUnlessStopped(protocol::kWriteRetryPauseMs) || allowance == 0) {
            m_LastSendFailure = RunStopping() ? SendFailure::Stopped : SendFailure::WriteStalled;
            return false;
        }
    }
    // A stop wakes this wait too; only a reply releases the message.
    if (m_hResponseEvent.Wait(protocol::kReplyTimeoutMs) && m_Released) {
        return true;
    }
    m_LinkLost = m_Port.HungUp();
    m_LastSendFailure = m_LinkLost           ? SendFailure::LineGone
                        : RunStopping()      ? SendFailure::Stopped
                        : m_LastRefusal != 0 ? SendFailure::Refused
                                             : SendFailure::NoAnswer;
    return false;
}

void CBrenwickDoc::OnPortEvent(uint32_t eventCode, intptr_t /*lParam*/) {
    uint8_t buffer[protocol::kReadChunk];
    uint32_t count = 0;
    // Bytes are read whenever the notification says some arrived, also when another event came with them:
    // the listener reports each arrival once, so bytes left unread here would wait for the next arrival.
    if ((eventCode & serial::EV_RXCHAR) != 0) {
        {
            std::lock_guard lock(m_PortLock);
            m_RxActive = 1;
            m_RxIdleCount = protocol::kIdleResetCount;
            m_Port.ReadBytes(buffer, sizeof buffer, &count, nullptr, serial::INFINITE);
        }
        for (uint32_t i = 0; i < count; ++i) {
            FeedByte(buffer[i]);
        }
    } else if (eventCode == serial::EV_ERR) {
        // A line error without new bytes: what the driver holds is damaged; drop it.
        std::lock_guard lock(m_PortLock);
        m_Port.ReadBytes(buffer, sizeof buffer, &count, nullptr, serial::INFINITE);
    }
}

void CBrenwickDoc::Release() {
    m_Released = true;
    m_hResponseEvent.Set();
}

void CBrenwickDoc::FeedByte(uint8_t b) {
    switch (m_RxState) {
    case 0:
        m_RxBuffer[0] = b;
        m_RxState = 1;
        break;
    case 1:
        m_RxBuffer[1] = b;
        m_RxCount = 2;
        m_RxExpected = frame::ReceiveLength(frame::HeaderWord(m_RxBuffer));
        if (m_RxExpected == 2) {
            m_RxState = 0;
            HandleMessage(m_RxBuffer);
        } else {
            m_RxState = 2;
        }
        break;
    case 2:
        m_RxBuffer[m_RxCount++] = b;
        // A length field of 1 is short of its own header: the next byte completes it.
        if (m_RxCount >= m_RxExpected) {
            m_RxState = 0;
            HandleMessage(m_RxBuffer);
            m_RxActive = 0;
        }
        break;
    default:
        m_RxActive = 0;
        m_RxState = 0;
        break;
    }
}

void CBrenwickDoc::HandleMessage(const uint8_t* message) {
    if (frame::HeaderWord(message) == 0x0002) {
        Release(); // the empty acknowledgement
        return;
    }
    const int length = m_RxCount < 2 ? 2 : m_RxCount;
    switch (frame::TypeOf(message)) {
    case MessageType::ControlItem:
        ActOnControlItem(message, length);
        Release(); // every control item releases the sender, known or not
        break;
    case MessageType::AckItem:
        if (length > 2 && message[2] == 0) {
            Release();
        } else if (length > 2) {
            m_LastRefusal = message[2]; // the sender still waits out its time, but knows why
        }
        break;
    default:
        break; // requests and data from the device, and unused types, are ignored
    }
}

} // namespace brenwick
