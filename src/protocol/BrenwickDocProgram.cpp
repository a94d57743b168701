// The programming sequence: product check, Prepare, a fixed pause, Begin, the image one flash page per
// message from the end of the boot area, End.
#include "protocol/BrenwickDoc.h"
#include "protocol/MessageFrame.h"

#include <algorithm>
#include <cstring>

namespace brenwick {

namespace {

constexpr const char* kWrongProduct = "Invalid .hex file for this Product";

} // namespace

int32_t CBrenwickDoc::BytesToSend(int32_t bootLength, int32_t pageSize) const {
    const int64_t span = int64_t{m_Firmware.m_ImageLen} + 4 - bootLength; // the byte sum goes along
    if (pageSize <= 0 || span <= 0) {
        return 0;
    }
    return static_cast<int32_t>((span + pageSize - 1) / pageSize * pageSize);
}

void CBrenwickDoc::SetBytesSent(int32_t sent) {
    std::lock_guard lock(m_ProgressLock);
    m_BytesSent = sent;
}

// Notes where a run stands, so that a failure can name the message; passes `sent` on.
bool CBrenwickDoc::SendStep(RunStep step, int32_t page, bool sent) {
    if (!sent) {
        std::lock_guard lock(m_FailureLock);
        m_RunFailure = {step, page, RunStopping() ? SendFailure::Stopped : m_LastSendFailure.load(),
                        m_LastRefusal};
    }
    return sent;
}

bool CBrenwickDoc::SendProgramControl(ProgramPhase phase) {
    const RunStep step = phase == ProgramPhase::Prepare ? RunStep::Prepare
                         : phase == ProgramPhase::Begin ? RunStep::Begin
                                                        : RunStep::End;
    if (RunStopping()) {
        return SendStep(step, 0, false);
    }
    frame::BuildProgramControl(m_TxBuffer, phase, m_ProductId);
    if (phase == ProgramPhase::Prepare) {
        m_RunActive = true; // from here on the board is being changed
    }
    return SendStep(step, 0, SendAndWait(m_TxBuffer));
}

bool CBrenwickDoc::SendPage(int32_t offset, int32_t pageSize) {
    uint8_t* data = m_TxBuffer + protocol::kDataItemHeader;
    // The last page may reach past the image buffer: the missing bytes go out as erased flash.
    const auto& image = m_Firmware.m_Image;
    const int64_t available = std::clamp<int64_t>(static_cast<int64_t>(image.size()) - offset, 0, pageSize);
    if (available > 0) {
        std::memcpy(data, image.data() + offset, static_cast<size_t>(available));
    }
    std::memset(data + available, 0xFF, static_cast<size_t>(pageSize - available));
    SetBytesSent(m_BytesSent + pageSize);
    frame::BuildDataItemHeader(m_TxBuffer, pageSize, m_Firmware.m_FlashBase + static_cast<uint32_t>(offset));
    return SendAndWait(m_TxBuffer);
}

bool CBrenwickDoc::SendPages(int32_t bootLength, int32_t pageSize) {
    const int32_t end = bootLength + BytesToSend(bootLength, pageSize);
    int32_t page = 1;
    for (int32_t offset = bootLength; offset < end; offset += pageSize, ++page) {
        if (!SendStep(RunStep::Page, page, !RunStopping() && SendPage(offset, pageSize))) {
            return false;
        }
    }
    return true;
}

std::optional<SequenceResult> CBrenwickDoc::RefusedSequence(int32_t bootLength, int32_t pageSize) {
    if (m_ProductIdPending == 0 && m_Firmware.ProductId(bootLength) != ProductIdBytes()) {
        if (m_ShowMessage) {
            m_ShowMessage(kWrongProduct); // the front end shows it; the worker waits until it is closed
        }
        return SequenceResult::ProductMismatch;
    }
    // A page must fit one message: a page size of 0 would never end, a larger one would not fit the frame.
    if (pageSize < 1 || pageSize > protocol::kMaxPageSize || bootLength < 0) {
        return SequenceResult::BadPageSize;
    }
    // The device would refuse the last pages only after taking all the others: refuse before Prepare.
    const int32_t flashSize = m_FlashSize;
    if (flashSize > 0 && int64_t{bootLength} + BytesToSend(bootLength, pageSize) > flashSize) {
        return SequenceResult::TooLarge;
    }
    return std::nullopt;
}

SequenceResult CBrenwickDoc::RunSequence(int32_t bootLength, int32_t pageSize) {
    {
        std::lock_guard lock(m_FailureLock);
        m_RunFailure = {};
    }
    {
        std::lock_guard lock(m_ProgressLock);
        m_BytesSent = 0;
        m_BytesToSend = BytesToSend(bootLength, pageSize);
    }
    if (const auto refused = RefusedSequence(bootLength, pageSize)) {
        return *refused;
    }
    const bool sent = SendProgramControl(ProgramPhase::Prepare) &&
                      SendStep(RunStep::Begin, 0, PauseUnlessStopped(protocol::kPreparePauseMs)) &&
                      SendProgramControl(ProgramPhase::Begin) && SendPages(bootLength, pageSize) &&
                      SendProgramControl(ProgramPhase::End);
    if (sent) {
        return SequenceResult::Succeeded;
    }
    if (RunStopping()) {
        return SequenceResult::Stopped;
    }
    return m_LinkLost ? SequenceResult::DeviceGone : SequenceResult::NoRelease;
}

bool CBrenwickDoc::ProgramDevice() {
    // The device's values as they stand now; a stray reply during the run must not move the pages.
    const SequenceResult result = RunSequence(m_BootLength, m_PageSize);
    m_LastSequence = result;
    m_RunActive = false;
    return result == SequenceResult::Succeeded;
}

} // namespace brenwick
