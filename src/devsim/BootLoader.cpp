#include "devsim/BootLoader.h"

#include "devsim/DeviceFrame.h"

#include <algorithm>
#include <iterator>

namespace brenwick {

namespace devsim {

namespace {

constexpr uint32_t kArmFlashBase = 0x100000;
constexpr uint8_t kPhasePrepare = 0;
constexpr uint8_t kPhaseBegin = 1;
constexpr uint8_t kPhaseEnd = 2;
constexpr size_t kDataHeader = 6; // header word and 32-bit address

const std::vector<uint8_t> kEmptyAck = {0x02, 0x00};

std::vector<uint8_t> AckReply(uint8_t result) {
    const uint8_t body[] = {result};
    return MakeMessage(MessageType::AckItem, body);
}

DeviceAnswer Answer(std::vector<uint8_t> reply, std::string note = {}) {
    DeviceAnswer answer;
    answer.reply = std::move(reply);
    answer.note = std::move(note);
    return answer;
}

void PutText(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

} // namespace

const CBootLoader::ReplyBuilder CBootLoader::kReplyTable[] = {
    {item::TargetName, &CBootLoader::TargetNamePayload},
    {item::SerialNumber, &CBootLoader::SerialNumberPayload},
    {item::AuxWord, &CBootLoader::AuxWordPayload},
    {item::Revision, &CBootLoader::RevisionPayload},
    {item::Status, &CBootLoader::StatusPayload},
    {item::ProductId, &CBootLoader::ProductIdPayload},
    {item::FlashGeometry, &CBootLoader::FlashGeometryPayload},
};

CBootLoader::CBootLoader(const DeviceSimOptions& options)
    : m_Options(options), m_Flash(static_cast<size_t>(std::max(options.flashSize, 0)), 0xFF) {}

uint64_t CBootLoader::FlashOffset(uint32_t address) {
    return address >= kArmFlashBase ? address - kArmFlashBase : address;
}

DeviceAnswer CBootLoader::Handle(std::span<const uint8_t> message) {
    if (message.size() < 2) {
        return {};
    }
    switch (TypeOf(message)) {
    case MessageType::RequestItem:
        return OnRequest(message);
    case MessageType::ControlItem:
        return OnControl(message);
    case MessageType::DataItem:
        return OnData(message);
    default:
        return {}; // acknowledgements and unused types need no answer
    }
}

DeviceAnswer CBootLoader::OnRequest(std::span<const uint8_t> message) {
    if (message.size() < 4) {
        return Answer({}, "request without an item code ignored");
    }
    const uint16_t code = GetU16(message, 2);
    if (code == item::FlashGeometry && m_Options.noGeometry) {
        return Answer({}, "flash geometry request left unanswered");
    }
    const uint8_t param = message.size() > 4 ? message[4] : 0;
    std::vector<uint8_t> body;
    PutU16(body, code);
    const auto* builder = std::find_if(std::begin(kReplyTable), std::end(kReplyTable),
                                       [code](const ReplyBuilder& b) { return b.code == code; });
    if (builder != std::end(kReplyTable)) {
        (this->*(builder->build))(body, param);
    }
    return Answer(MakeMessage(MessageType::ControlItem, body));
}

DeviceAnswer CBootLoader::OnControl(std::span<const uint8_t> message) {
    if (message.size() == 2) {
        return {}; // an empty acknowledgement from the host asks for nothing
    }
    if (message.size() < 6 || GetU16(message, 2) != item::ProgramControl) {
        return Answer(kEmptyAck);
    }
    switch (message[5]) {
    case kPhasePrepare:
        std::fill(m_Flash.begin(), m_Flash.end(), uint8_t{0xFF});
        m_Status = status::Prepared;
        m_Pages = 0;
        m_PageErrors = 0;
        return Answer(kEmptyAck, "prepare: flash erased");
    case kPhaseBegin: {
        m_Status = status::Programming;
        m_Pages = 0;
        m_PageErrors = 0;
        DeviceAnswer answer = Answer(kEmptyAck, "begin");
        answer.began = true;
        return answer;
    }
    case kPhaseEnd:
        return EndSession();
    default:
        return Answer(kEmptyAck, "unknown programming phase ignored");
    }
}

DeviceAnswer CBootLoader::EndSession() {
    DeviceAnswer answer = Answer(kEmptyAck);
    answer.finished = true;
    if (m_Status != status::Programming) {
        m_Verdict = StampVerdict{};
        m_Status = status::Error;
        answer.note = "end: no programming session open";
        return answer;
    }
    m_Verdict = CheckStamp(m_Flash, static_cast<uint32_t>(m_Options.bootLength));
    if (m_PageErrors > 0) {
        m_Status = status::Error;
        answer.note = "end: " + std::to_string(m_PageErrors) + " page(s) were not accepted";
    } else {
        m_Status = m_Verdict.result == StampResult::Ok ? status::Success : status::Error;
        answer.note = std::string("end: ") + Describe(m_Verdict.result);
    }
    return answer;
}

DeviceAnswer CBootLoader::OnData(std::span<const uint8_t> message) {
    ++m_Pages;
    if (m_Options.hangUpPage > 0 && m_Pages == m_Options.hangUpPage) {
        DeviceAnswer answer = Answer({}, "hanging up at page " + std::to_string(m_Pages));
        answer.hangUp = true;
        return answer;
    }
    auto reject = [this](uint8_t result, std::string note) {
        ++m_PageErrors;
        return Answer(AckReply(result), std::move(note));
    };
    if (m_Options.nakPage > 0 && m_Pages == m_Options.nakPage) {
        return reject(ack::Rejected, "page " + std::to_string(m_Pages) + " rejected on purpose");
    }
    if (m_Status != status::Programming) {
        return reject(ack::NotProgramming, "page outside a programming session");
    }
    if (message.size() <= kDataHeader) {
        return reject(ack::BadAddress, "page without data");
    }
    const uint64_t offset = FlashOffset(GetU32(message, 2));
    const auto data = message.subspan(kDataHeader);
    if (offset + data.size() > m_Flash.size()) {
        return reject(ack::BadAddress, "page outside the flash");
    }
    std::copy(data.begin(), data.end(), m_Flash.begin() + static_cast<std::ptrdiff_t>(offset));
    return Answer(AckReply(ack::Accepted));
}

void CBootLoader::TargetNamePayload(std::vector<uint8_t>& out, uint8_t) const {
    PutText(out, m_Options.name);
}

void CBootLoader::SerialNumberPayload(std::vector<uint8_t>& out, uint8_t) const {
    PutText(out, m_Options.serial);
}

void CBootLoader::AuxWordPayload(std::vector<uint8_t>& out, uint8_t) const {
    PutU16(out, m_Options.auxWord);
}

void CBootLoader::RevisionPayload(std::vector<uint8_t>& out, uint8_t param) const {
    out.push_back(param);
    PutU16(out, param == 0 ? m_Options.bootRev : param == 1 ? m_Options.flashRev : uint16_t{0});
}

void CBootLoader::StatusPayload(std::vector<uint8_t>& out, uint8_t) const {
    out.push_back(m_Status);
}

void CBootLoader::ProductIdPayload(std::vector<uint8_t>& out, uint8_t) const {
    out.insert(out.end(), std::begin(m_Options.productId), std::end(m_Options.productId));
}

void CBootLoader::FlashGeometryPayload(std::vector<uint8_t>& out, uint8_t param) const {
    out.push_back(param);
    PutU32(out, static_cast<uint32_t>(m_Options.flashSize));
    PutU32(out, static_cast<uint32_t>(m_Options.pageSize));
    PutU32(out, static_cast<uint32_t>(m_Options.bootLength));
}

} // namespace devsim

} // namespace brenwick
