#include "protocol/ProgrammingSequence.h"

#include "protocol/MessageFrame.h"

#include <algorithm>
#include <cstring>

namespace brenwick {

int32_t BytesToSend(int32_t imageLength, int32_t bootLength, int32_t pageSize) {
    const int64_t span = int64_t{imageLength} + 4 - bootLength; // the byte sum goes along
    if (pageSize <= 0 || span <= 0) {
        return 0;
    }
    return static_cast<int32_t>((span + pageSize - 1) / pageSize * pageSize);
}

namespace {

// One run: the messages in order, each failure noted with the message it struck.
class CRun {
  public:
    CRun(IMessageTransport& link, const CFirmwareImage& image, const DeviceInfo& device, RunFailure& failure)
        : m_Link(link), m_Image(image), m_Device(device), m_Failure(failure) {}

    std::optional<SequenceResult> Refused() const {
        if (m_Device.productIdReported &&
            m_Image.ProductId(m_Device.bootLength) != m_Device.ProductIdBytes()) {
            return SequenceResult::ProductMismatch;
        }
        // A page must fit one message: a page size of 0 would never end, a larger one would not fit the
        // frame.
        if (m_Device.pageSize < 1 || m_Device.pageSize > protocol::kMaxPageSize || m_Device.bootLength < 0) {
            return SequenceResult::BadPageSize;
        }
        // The device would refuse the last pages only after taking all the others: refuse before Prepare.
        if (m_Device.flashSize > 0 && int64_t{m_Device.bootLength} + Span() > m_Device.flashSize) {
            return SequenceResult::TooLarge;
        }
        return std::nullopt;
    }

    SequenceResult Run() {
        const bool sent = SendProgramControl(ProgramPhase::Prepare) &&
                          Step(RunStep::Begin, 0, m_Link.PauseUnlessStopped(protocol::kPreparePauseMs)) &&
                          SendProgramControl(ProgramPhase::Begin) && SendPages() &&
                          SendProgramControl(ProgramPhase::End);
        if (sent) {
            return SequenceResult::Succeeded;
        }
        if (m_Link.RunStopping()) {
            return SequenceResult::Stopped;
        }
        return m_Failure.why == SendFailure::LineGone ? SequenceResult::DeviceGone
                                                      : SequenceResult::NoRelease;
    }

  private:
    int32_t Span() const { return BytesToSend(m_Image.m_ImageLen, m_Device.bootLength, m_Device.pageSize); }

    bool Send() {
        m_Last = m_Link.SendAndWait(m_Message.data());
        return m_Last.why == SendFailure::None;
    }

    // Notes where the run stands when a message was not released; passes `sent` on.
    bool Step(RunStep step, int32_t page, bool sent) {
        if (!sent) {
            m_Failure = {step, page, m_Link.RunStopping() ? SendFailure::Stopped : m_Last.why,
                         m_Last.refusal};
        }
        return sent;
    }

    bool SendProgramControl(ProgramPhase phase) {
        const RunStep step = phase == ProgramPhase::Prepare ? RunStep::Prepare
                             : phase == ProgramPhase::Begin ? RunStep::Begin
                                                            : RunStep::End;
        if (m_Link.RunStopping()) {
            return Step(step, 0, false);
        }
        frame::BuildProgramControl(m_Message.data(), phase, m_Device.productId);
        if (phase == ProgramPhase::Prepare) {
            m_Link.OnBoardChanging();
        }
        return Step(step, 0, Send());
    }

    bool SendPage(int32_t offset, int32_t pageSize) {
        uint8_t* data = m_Message.data() + protocol::kDataItemHeader;
        // The last page may reach past the image buffer: the missing bytes go out as erased flash.
        const auto& image = m_Image.m_Image;
        const int64_t available =
            std::clamp<int64_t>(static_cast<int64_t>(image.size()) - offset, 0, pageSize);
        if (available > 0) {
            std::memcpy(data, image.data() + offset, static_cast<size_t>(available));
        }
        std::memset(data + available, 0xFF, static_cast<size_t>(pageSize - available));
        m_Sent += pageSize;
        m_Link.OnBytesSent(m_Sent);
        frame::BuildDataItemHeader(m_Message.data(), pageSize,
                                   m_Image.m_FlashBase + static_cast<uint32_t>(offset));
        return Send();
    }

    bool SendPages() {
        const int32_t pageSize = m_Device.pageSize;
        const int32_t end = m_Device.bootLength + Span();
        int32_t page = 1;
        for (int32_t offset = m_Device.bootLength; offset < end; offset += pageSize, ++page) {
            if (!Step(RunStep::Page, page, !m_Link.RunStopping() && SendPage(offset, pageSize))) {
                return false;
            }
        }
        return true;
    }

    IMessageTransport& m_Link;
    const CFirmwareImage& m_Image;
    const DeviceInfo& m_Device;
    RunFailure& m_Failure;
    SendOutcome m_Last;
    int32_t m_Sent = 0;
    std::array<uint8_t, protocol::kTxBufferSize> m_Message{};
};

} // namespace

SequenceResult RunSequence(IMessageTransport& link, const CFirmwareImage& image, const DeviceInfo& device,
                           RunFailure& failure) {
    failure = {};
    CRun run(link, image, device, failure);
    if (const auto refused = run.Refused()) {
        return *refused;
    }
    return run.Run();
}

} // namespace brenwick
