// What each reply of the device means: the control items fill the record, the acknowledgements release or
// refuse the message in flight.
#include "protocol/DeviceRecord.h"

#include "protocol/MessageFrame.h"

#include <algorithm>

namespace brenwick {

namespace {

// Where the payload of a reply starts: header word and item code come first.
constexpr int kPayload = 4;

// A text up to its zero byte, never beyond the end of the message.
std::string TextOf(const uint8_t* text, int length) {
    const auto* chars = reinterpret_cast<const char*>(text);
    return std::string(chars, std::find(chars, chars + length, '\0'));
}

} // namespace

std::array<uint8_t, 4> DeviceInfo::ProductIdBytes() const {
    std::array<uint8_t, 4> bytes{};
    frame::PutU32(bytes.data(), productId);
    return bytes;
}

ReplyEffect CDeviceRecord::Apply(const uint8_t* message, int length) {
    ReplyEffect effect;
    if (frame::HeaderWord(message) == 0x0002) {
        effect.releases = true; // the empty acknowledgement
        return effect;
    }
    switch (frame::TypeOf(message)) {
    case MessageType::ControlItem:
        Store(message, length, effect);
        effect.releases = true; // every control item releases the sender, known or not
        break;
    case MessageType::AckItem:
        if (length > 2 && message[2] == 0) {
            effect.releases = true;
        } else if (length > 2) {
            effect.refusal = message[2]; // the sender still waits out its time, but knows why
        }
        break;
    default:
        break; // requests and data from the device, and unused types, are ignored
    }
    return effect;
}

void CDeviceRecord::Store(const uint8_t* message, int length, ReplyEffect& effect) {
    if (length < kPayload) {
        return; // no item code
    }
    const uint8_t* payload = message + kPayload;
    const int size = length - kPayload;
    std::lock_guard lock(m_Lock);
    DeviceInfo& info = m_Info;
    // A reply shorter than its layout stores nothing: its fields would be whatever an earlier message left.
    switch (static_cast<ControlItemCode>(frame::GetU16(message + 2))) {
    case ControlItemCode::TargetName:
        info.targetName = TextOf(payload, size);
        break;
    case ControlItemCode::SerialNumber:
        info.serialNumber = TextOf(payload, size);
        break;
    case ControlItemCode::AuxWord:
        if (size >= 2) {
            info.auxWord = frame::GetU16(payload);
        }
        break;
    case ControlItemCode::Revision:
        if (size >= 3 && payload[0] == 0) {
            info.bootRev = frame::GetU16(payload + 1);
        } else if (size >= 3 && payload[0] == 1) {
            info.flashRev = frame::GetU16(payload + 1);
        }
        break;
    case ControlItemCode::Status:
        if (size >= 1) {
            effect.linkState = protocol::LinkStateForStatus(payload[0]);
        }
        break;
    case ControlItemCode::ProductId:
        if (size >= 4) {
            info.productId = frame::GetU32(payload);
            info.productIdReported = true;
        }
        break;
    case ControlItemCode::FlashGeometry:
        if (size >= 13) {
            info.flashSize = static_cast<int32_t>(frame::GetU32(payload + 1));
            info.pageSize = static_cast<int32_t>(frame::GetU32(payload + 5));
            info.bootLength = static_cast<int32_t>(frame::GetU32(payload + 9));
        }
        break;
    default:
        break; // ProgramControl answers and unknown items only release the sender
    }
}

DeviceInfo CDeviceRecord::Info() const {
    std::lock_guard lock(m_Lock);
    return m_Info;
}

void CDeviceRecord::ForgetProductId() {
    std::lock_guard lock(m_Lock);
    m_Info.productId = protocol::kDefaultProductId;
    m_Info.productIdReported = false;
}

} // namespace brenwick
