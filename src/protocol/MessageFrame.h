#pragma once

#include "protocol/ProtocolTypes.h"

#include <cstdint>

namespace brenwick {

// The frame: a 16-bit little-endian header word (bits 0-12 the total length, header included; bits 13-15 the
// message type) and the body. No start byte, no escaping, no checksum.
namespace frame {

inline void PutHeader(uint8_t* message, int length, MessageType type) {
    const auto word = static_cast<uint16_t>((static_cast<unsigned>(length) & protocol::kMaxLengthField) |
                                            (static_cast<unsigned>(type) << 13));
    message[0] = static_cast<uint8_t>(word);
    message[1] = static_cast<uint8_t>(word >> 8);
}
inline uint16_t HeaderWord(const uint8_t* message) {
    return static_cast<uint16_t>(message[0] | message[1] << 8);
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

inline void PutU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}
inline void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}
inline uint16_t GetU16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}
inline uint32_t GetU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

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
