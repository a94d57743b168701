#pragma once

// The device side keeps its own frame code on purpose: it is the independent counterpart the host is tested
// against, so a fault in the host's framing cannot hide in code both sides share.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The frame of the boot loader's line protocol, seen from the device: a 16-bit little-endian header whose
// bits 0-12 give the total length (header included) and bits 13-15 the message type, then the body.
namespace devsim {

enum class MessageType : uint8_t { ControlItem = 0, RequestItem = 1, AckItem = 3, DataItem = 4 };

namespace item {
inline constexpr uint16_t TargetName = 0x0001;
inline constexpr uint16_t SerialNumber = 0x0002;
inline constexpr uint16_t AuxWord = 0x0003;
inline constexpr uint16_t Revision = 0x0004;
inline constexpr uint16_t Status = 0x0005;
inline constexpr uint16_t ProductId = 0x0009;
inline constexpr uint16_t ProgramControl = 0x0300;
inline constexpr uint16_t FlashGeometry = 0x0302;
} // namespace item

// Results the device puts in an AckItem for a DataItem.
namespace ack {
inline constexpr uint8_t Accepted = 0;
inline constexpr uint8_t Rejected = 1;       // the injected NAK
inline constexpr uint8_t NotProgramming = 2; // no Begin since the last End or Prepare
inline constexpr uint8_t BadAddress = 3;     // outside the flash, or no data
} // namespace ack

// Device status byte.
namespace status {
inline constexpr uint8_t Ready = 0;
inline constexpr uint8_t Success = 14;
inline constexpr uint8_t Prepared = 15;
inline constexpr uint8_t Programming = 16;
inline constexpr uint8_t Error = 128;
} // namespace status

inline constexpr size_t kLargestMessage = 8194; // a length field of 0
inline constexpr size_t kLargestSendable = 0x1FFF;

using Clock = std::chrono::steady_clock;

inline uint16_t GetU16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint32_t GetU32(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

inline MessageType TypeOf(std::span<const uint8_t> message) {
    return static_cast<MessageType>(message[1] >> 5);
}

// Total length of a message from its two header bytes. A length field of 0 stands for 8194 bytes; a field of
// 1 is taken as a message of three bytes (the byte after the header completes it), as the host's receiver
// does.
inline size_t FrameLength(uint8_t low, uint8_t high) {
    const size_t field = static_cast<size_t>(low | ((high & 0x1F) << 8));
    if (field == 0) {
        return kLargestMessage;
    }
    return field == 1 ? 3 : field;
}

// A complete message: header, then body (at most kLargestSendable bytes in all).
inline std::vector<uint8_t> MakeMessage(MessageType type, std::span<const uint8_t> body) {
    std::vector<uint8_t> out;
    out.reserve(body.size() + 2);
    const auto length = static_cast<uint16_t>(body.size() + 2);
    PutU16(out, static_cast<uint16_t>(length | (static_cast<unsigned>(type) << 13)));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

} // namespace devsim
