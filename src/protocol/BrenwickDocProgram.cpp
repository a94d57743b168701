// The programming sequence: product check, Prepare, a fixed pause, Begin, the image one flash page per
// message from the end of the boot area, End.
#include "protocol/BrenwickDoc.h"
#include "protocol/MessageFrame.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kWrongProduct = "Invalid .hex file for this Product";

} // namespace

bool CBrenwickDoc::SendProgramControl(ProgramPhase phase) {
    if (Stopping()) {
        return false;
    }
    frame::BuildProgramControl(m_TxBuffer, phase, m_ProductId);
    return SendAndWait(m_TxBuffer);
}

bool CBrenwickDoc::SendPage(int32_t offset, int32_t pageSize) {
    if (Stopping()) {
        return false;
    }
    uint8_t* data = m_TxBuffer + protocol::kDataItemHeader;
    // The last page may reach past the image buffer: the missing bytes go out as erased flash.
    const auto& image = m_Firmware.m_Image;
    const int64_t available = std::clamp<int64_t>(static_cast<int64_t>(image.size()) - offset, 0, pageSize);
    if (available > 0) {
        std::memcpy(data, image.data() + offset, static_cast<size_t>(available));
    }
    std::memset(data + available, 0xFF, static_cast<size_t>(pageSize - available));
    m_BytesSent += pageSize;
    frame::BuildDataItemHeader(m_TxBuffer, pageSize, m_Firmware.m_FlashBase + static_cast<uint32_t>(offset));
    return SendAndWait(m_TxBuffer);
}

bool CBrenwickDoc::ProgramDevice() {
    m_LastSequence = SequenceResult::NoRelease;
    // The device's values as they stand now; a stray reply during the run must not move the pages.
    const int32_t bootLength = m_BootLength;
    const int32_t pageSize = m_PageSize;
    const int32_t end = m_Firmware.m_ImageLen + 4; // the byte sum goes along

    if (m_ProductIdPending == 0 && m_Firmware.ProductId(bootLength) != ProductIdBytes()) {
        if (m_ShowMessage) {
            m_ShowMessage(kWrongProduct); // the front end shows it; the worker waits until it is closed
        }
        m_LastSequence = SequenceResult::ProductMismatch;
        return false;
    }
    // A page must fit one message: a page size of 0 would never end, a larger one would not fit the frame.
    if (pageSize < 1 || pageSize > protocol::kMaxPageSize || bootLength < 0) {
        m_LastSequence = SequenceResult::BadPageSize;
        return false;
    }

    m_BytesSent = 0;
    if (!SendProgramControl(ProgramPhase::Prepare) || !PauseUnlessStopped(protocol::kPreparePauseMs) ||
        !SendProgramControl(ProgramPhase::Begin)) {
        if (Stopping()) {
            m_LastSequence = SequenceResult::Stopped;
        }
        return false;
    }
    for (int32_t offset = bootLength; offset < end; offset += pageSize) {
        if (!SendPage(offset, pageSize)) {
            if (Stopping()) {
                m_LastSequence = SequenceResult::Stopped;
            }
            return false;
        }
    }
    if (!SendProgramControl(ProgramPhase::End)) {
        if (Stopping()) {
            m_LastSequence = SequenceResult::Stopped;
        }
        return false;
    }
    m_LastSequence = SequenceResult::Succeeded;
    return true;
}
