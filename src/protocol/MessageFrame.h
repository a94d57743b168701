#pragma once

#include "base/LittleEndian.h"
#include "protocol/ProtocolTypes.h"

#include <cstdint>

namespace brenwick {

// The frame: a 16-bit little-endian header word (bits 0-12 the total length, header included; bits 13-15 the
// message type) and the body. No start byte, no escaping, no checksum.
namespace frame {

inline void PutHeader(uint8_t* message, int length, MessageType type) {
    const auto word = static_cast<uint16_t>((static_cast<unsigned>(length) & protocol::kMaxLengthField) |
                                            (static_cast<unsigned>(type) << 13));
    le::PutU16(message, word);
}
inline uint16_t HeaderWord(const uint8_t* message) {
    return le::GetU16(message);
}
// The length the sender meant: bits 0-12 of the header word.
inline int SendLength(const uint8_t* message) {
    return HeaderWord(message) & protocol::kMaxLengthField;
}
// The length a receiver waits for: a length field of 0 stands for the largest message.
inline int ReceiveLength(uint16_t header) {
    const int length = header & protocol::kMaxLengthField;
    return length == 0 ? protocol::kRxBufferSize : length;
}
inline MessageType TypeOf(const uint8_t* message) {
    return static_cast<MessageType>(message[1] >> 5);
}

using le::GetU16;
using le::GetU32;
using le::PutU16;
using le::PutU32;

// A request for an item: 04 20 cc cc, or 05 20 cc cc pp with a parameter. Returns the length.
inline int BuildRequest(uint8_t* message, ControlItemCode code) {
    PutHeader(message, 4, MessageType::RequestItem);
    PutU16(message + 2, static_cast<uint16_t>(code));
    return 4;
}
inline int BuildRequest(uint8_t* message, ControlItemCode code, uint8_t parameter) {
    PutHeader(message, 5, MessageType::RequestItem);
    PutU16(message + 2, static_cast<uint16_t>(code));
    message[4] = parameter;
    return 5;
}

// The programming command: 0A 00 00 03 00 ph P0 P1 P2 P3, the product ID's bytes in order.
inline int BuildProgramControl(uint8_t* message, ProgramPhase phase, uint32_t productId) {
    PutHeader(message, 10, MessageType::ControlItem);
    PutU16(message + 2, static_cast<uint16_t>(ControlItemCode::ProgramControl));
    message[4] = 0;
    message[5] = static_cast<uint8_t>(phase);
    PutU32(message + 6, productId);
    return 10;
}

// A page header: length pageSize + 6 with the DataItem type, then the target address.
inline void BuildDataItemHeader(uint8_t* message, int pageSize, uint32_t address) {
    PutHeader(message, pageSize + protocol::kDataItemHeader, MessageType::DataItem);
    PutU32(message + 2, address);
}

} // namespace frame

} // namespace brenwick
