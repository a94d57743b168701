// What each control item reply changes in the document. Fields are written before the sender is released.
#include "protocol/BrenwickDoc.h"
#include "protocol/MessageFrame.h"

namespace brenwick {

namespace {

// Where the payload of a reply starts: header word and item code come first.
constexpr int kPayload = 4;

} // namespace

void CBrenwickDoc::SetText(std::string& field, const uint8_t* text, int length) {
    int n = 0;
    while (n < length && text[n] != 0) {
        ++n; // up to the zero byte, never beyond the end of the message
    }
    std::lock_guard lock(m_TextLock);
    field.assign(reinterpret_cast<const char*>(text), static_cast<size_t>(n));
}

void CBrenwickDoc::ActOnControlItem(const uint8_t* message, int length) {
    if (length < kPayload) {
        return; // no item code
    }
    const uint8_t* payload = message + kPayload;
    const int size = length - kPayload;
    // A reply shorter than its layout stores nothing: its fields would be whatever an earlier message left.
    switch (static_cast<ControlItemCode>(frame::GetU16(message + 2))) {
    case ControlItemCode::TargetName:
        SetText(m_TargetName, payload, size);
        break;
    case ControlItemCode::SerialNumber:
        SetText(m_SerialNumber, payload, size);
        break;
    case ControlItemCode::AuxWord:
        if (size >= 2) {
            m_AuxWord = frame::GetU16(payload);
        }
        break;
    case ControlItemCode::Revision:
        if (size >= 3 && payload[0] == 0) {
            m_BootRev = frame::GetU16(payload + 1);
        } else if (size >= 3 && payload[0] == 1) {
            m_FlashRev = frame::GetU16(payload + 1);
        }
        break;
    case ControlItemCode::Status:
        if (size >= 1) {
            m_LinkState = protocol::LinkStateForStatus(payload[0]);
        }
        break;
    case ControlItemCode::ProductId:
        if (size >= 4) {
            m_ProductId = frame::GetU32(payload);
            m_ProductIdPending = 0;
        }
        break;
    case ControlItemCode::FlashGeometry:
        if (size >= 13) {
            m_FlashSize = static_cast<int32_t>(frame::GetU32(payload + 1));
            m_PageSize = static_cast<int32_t>(frame::GetU32(payload + 5));
            m_BootLength = static_cast<int32_t>(frame::GetU32(payload + 9));
        }
        break;
    default:
        break; // ProgramControl answers and unknown items only release the sender
    }
}

std::string CBrenwickDoc::TargetName() const {
    std::lock_guard lock(m_TextLock);
    return m_TargetName;
}

std::string CBrenwickDoc::SerialNumber() const {
    std::lock_guard lock(m_TextLock);
    return m_SerialNumber;
}

std::array<uint8_t, 4> CBrenwickDoc::ProductIdBytes() const {
    std::array<uint8_t, 4> bytes{};
    frame::PutU32(bytes.data(), m_ProductId);
    return bytes;
}

} // namespace brenwick
