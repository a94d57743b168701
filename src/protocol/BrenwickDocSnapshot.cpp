// What the front ends read: the progress of a run and the whole state in one snapshot.
#include "protocol/BrenwickDoc.h"

namespace brenwick {

namespace {

// Percent of the application area sent; the panel's figure passes 100 by the last page's padding.
int32_t ProgressOf(int32_t sent, int32_t imageLength, int32_t bootLength) {
    const int32_t span = imageLength - bootLength;
    return span <= 0 ? 0 : static_cast<int32_t>(int64_t{sent} * 100 / span);
}

} // namespace

int32_t CBrenwickDoc::GetProgress() const {
    return ProgressOf(m_BytesSent, m_Firmware.m_ImageLen, m_BootLength);
}

DocSnapshot CBrenwickDoc::Snapshot() const {
    DocSnapshot s;
    s.linkState = static_cast<LinkState>(m_LinkState.load());
    s.onLine = m_OnLine != 0;
    s.commandPending = m_Command != WorkerCommand::None || m_RunningCommand != WorkerCommand::None;
    s.imageInUse = m_ImageInUse;
    s.runActive = m_RunActive;
    s.fileLoaded = m_FileLoaded != 0;
    {
        std::lock_guard lock(m_TextLock);
        s.targetName = m_TargetName;
        s.serialNumber = m_SerialNumber;
    }
    s.bootRev = m_BootRev;
    s.flashRev = m_FlashRev;
    s.productId = ProductIdBytes();
    s.flashSize = m_FlashSize;
    s.pageSize = m_PageSize;
    s.bootLength = m_BootLength;
    {
        std::lock_guard lock(m_ProgressLock);
        s.bytesSent = m_BytesSent;
        s.bytesToSend = m_BytesToSend;
    }
    s.progress = ProgressOf(s.bytesSent, m_Firmware.m_ImageLen, s.bootLength);
    s.lastSequence = m_LastSequence;
    {
        std::lock_guard lock(m_FailureLock);
        s.runFailure = m_RunFailure;
    }
    s.imageProductId = m_Firmware.ProductId(s.bootLength);
    if (const uint16_t code = m_UnansweredRequest; code != 0) {
        s.unansweredRequest = static_cast<ControlItemCode>(code);
    }
    s.lastOpenError = m_LastOpenError;
    return s;
}

} // namespace brenwick
