#include "document/RunReport.h"

#include "protocol/ProtocolTypes.h"

#include <cstdio>

namespace brenwick {

namespace {

// The message a run stopped at, as the operator knows it.
std::string StepName(const RunFailure& f) {
    switch (f.step) {
    case RunStep::Prepare:
        return "Prepare";
    case RunStep::Begin:
        return "Begin";
    case RunStep::Page:
        return "page " + std::to_string(f.page);
    case RunStep::End:
        return "End";
    case RunStep::None:
        break;
    }
    return "a message";
}

std::string ReplyTime() {
    char text[16];
    std::snprintf(text, sizeof text, "%g s", protocol::kReplyTimeoutMs / 1000.0);
    return text;
}

// The sentence for a message that was not released.
std::string NotReleased(const RunFailure& f) {
    const std::string step = StepName(f);
    switch (f.why) {
    case SendFailure::Refused:
        return step + " refused by the device (result " + std::to_string(f.refusal) + ")";
    case SendFailure::NoAnswer:
        return "no answer to " + step + " within " + ReplyTime();
    case SendFailure::WriteStalled:
        return "the line stopped taking bytes at " + step;
    case SendFailure::LineGone:
        return "the device went away (the line was hung up) at " + step;
    case SendFailure::NotOpen:
        return "the port was closed at " + step;
    case SendFailure::Stopped:
        return "stopped at " + step;
    case SendFailure::None:
        break;
    }
    return "the device did not accept " + step;
}

} // namespace

std::string RevisionText(uint16_t hundredths) {
    char text[16];
    std::snprintf(text, sizeof text, "%.5g", hundredths * 0.01);
    return text;
}

std::string ProductIdText(const std::array<uint8_t, 4>& id) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", id[0], id[1], id[2], id[3]);
    return text;
}

std::string RunFailureText(const DocSnapshot& s, const std::string& file) {
    switch (s.lastSequence) {
    case SequenceResult::ProductMismatch:
        return "the file is for product " + ProductIdText(s.imageProductId) + ", the device is " +
               ProductIdText(s.device.ProductIdBytes());
    case SequenceResult::BadPageSize:
        return "the device reported a page size of " + std::to_string(s.device.pageSize) +
               " bytes, which no message can carry";
    case SequenceResult::TooLarge:
        return file + " needs " + std::to_string(int64_t{s.device.bootLength} + s.bytesToSend) +
               " bytes of flash (boot area and image), but the device's flash holds " +
               std::to_string(s.device.flashSize) + " bytes; nothing was sent";
    case SequenceResult::NoRelease:
    case SequenceResult::DeviceGone:
    case SequenceResult::Stopped:
        return NotReleased(s.runFailure);
    case SequenceResult::NotRun:
    case SequenceResult::Succeeded:
        break;
    }
    return {};
}

std::string NoAnswerText(const DocSnapshot& s) {
    if (!s.unansweredRequest || *s.unansweredRequest == ControlItemCode::TargetName) {
        return "the device does not answer"; // the first request of the identification
    }
    switch (*s.unansweredRequest) {
    case ControlItemCode::FlashGeometry:
        return "the device answers but does not report its flash geometry";
    case ControlItemCode::Status:
        return "the device answers but does not report its status";
    default:
        return "the device stopped answering while it was being identified";
    }
}

} // namespace brenwick
