// The link's port: opening it at Connect, sending one message and waiting for its release, and reading the
// replies on the notification target's thread.
#include "document/Link.h"
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

void CLink::ClosePort() {
    std::lock_guard lock(m_CloseLock);
    if (m_Port.IsOpen()) {
        m_Port.ClosePort();
    }
}

void CLink::OpenLink() {
    ClosePort();
    {
        std::lock_guard lock(m_RxLock);
        m_Assembler.Reset();
    }
    m_Device.ForgetProductId();
    m_LastOpenError = std::error_code();
    m_UnansweredRequest = 0;

    const auto [name, baudIndex] = m_Settings.Current();
    // A stored index outside the table opens nothing: the connect fails as a port that cannot be opened.
    const int32_t baud = protocol::BaudRateForIndex(baudIndex);
    if (baud == 0) {
        m_LastOpenError = serial::PortErrc::InvalidArgument;
        return;
    }
    std::lock_guard lock(m_CloseLock);
    const std::error_code opened =
        m_Port.OpenPort(name.c_str(), m_Target, protocol::kPortMessage, 0, 32768, 32768);
    if (opened) {
        m_LastOpenError = opened;
        return;
    }
    m_LineBaud = baud;
    if (const std::error_code setup =
            m_Port.SetupLine(baud, serial::DataBits8, serial::ParityNone, serial::StopBitsOne)) {
        m_LastOpenError = setup;
        m_Port.ClosePort();
        return;
    }
    m_Port.SetHandshaking(serial::HandshakeOff);
    m_Port.SetEventMask(serial::EV_RXCHAR | serial::EV_TXEMPTY | serial::EV_ERR);
    m_Port.SetReadTimeoutMode(serial::ReadTimeoutNonblocking);
}

SendOutcome CLink::SendAndWait(const uint8_t* message) {
    const auto length = static_cast<uint32_t>(frame::SendLength(message));
    if (!m_Port.IsOpen()) {
        return {SendFailure::NotOpen};
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
            return {LineGone(code) || m_Port.HungUp() ? SendFailure::LineGone
                    : RunStopping()                   ? SendFailure::Stopped
                                                      : SendFailure::WriteStalled};
        }
        remaining -= written;
        at += written;
        if (remaining == 0) {
            break;
        }
        // The driver took only part of it: try the rest again shortly, a bounded number of times.
        if (!PauseUnlessStopped(protocol::kWriteRetryPauseMs) || allowance == 0) {
            return {RunStopping() ? SendFailure::Stopped : SendFailure::WriteStalled};
        }
    }
    // A stop wakes this wait too; only a reply releases the message.
    if (m_hResponseEvent.Wait(protocol::kReplyTimeoutMs) && m_Released) {
        return {};
    }
    const uint8_t refusal = m_LastRefusal;
    return {m_Port.HungUp() ? SendFailure::LineGone
            : RunStopping() ? SendFailure::Stopped
            : refusal != 0  ? SendFailure::Refused
                            : SendFailure::NoAnswer,
            refusal};
}

void CLink::OnPortMessage(uint32_t message, uint32_t wParam, intptr_t /*lParam*/) {
    if (message != protocol::kPortMessage) {
        return;
    }
    const uint32_t eventCode = wParam & 0xFFFF; // the line events; the error bits are not used
    uint8_t buffer[protocol::kReadChunk];
    uint32_t count = 0;
    std::lock_guard lock(m_RxLock);
    // Bytes are read whenever the notification says some arrived, also when another event came with them:
    // the listener reports each arrival once, so bytes left unread here would wait for the next arrival.
    if ((eventCode & serial::EV_RXCHAR) != 0) {
        m_Port.ReadBytes(buffer, sizeof buffer, &count, nullptr, serial::INFINITE);
        for (uint32_t i = 0; i < count; ++i) {
            if (m_Assembler.Take(buffer[i])) {
                Act(m_Device.Apply(m_Assembler.Message(), m_Assembler.Length()));
            }
        }
    } else if (eventCode == serial::EV_ERR) {
        // A line error without new bytes: what the driver holds is damaged; drop it.
        m_Port.ReadBytes(buffer, sizeof buffer, &count, nullptr, serial::INFINITE);
    }
}

void CLink::Act(const ReplyEffect& effect) {
    if (effect.linkState) {
        m_LinkState = *effect.linkState;
    }
    if (effect.refusal != 0) {
        m_LastRefusal = effect.refusal;
    }
    if (effect.releases) {
        m_Released = true;
        m_hResponseEvent.Set();
    }
}

void CLink::Fill(DocSnapshot& s) const {
    s.linkState = m_LinkState;
    s.onLine = m_OnLine;
    s.commandPending = m_Command != WorkerCommand::None || m_RunningCommand != WorkerCommand::None;
    s.imageInUse = m_ImageInUse;
    s.runActive = m_RunActive;
    s.device = m_Device.Info();
    s.lastSequence = m_LastSequence;
    {
        std::lock_guard lock(m_RunLock);
        s.bytesSent = m_BytesSent;
        s.bytesToSend = m_BytesToSend;
        s.runFailure = m_RunFailure;
    }
    if (const uint16_t code = m_UnansweredRequest; code != 0) {
        s.unansweredRequest = static_cast<ControlItemCode>(code);
    }
    s.lastOpenError = m_LastOpenError.load();
    s.lineGone = m_Port.IsOpen() && m_Port.HungUp();
}

} // namespace brenwick
