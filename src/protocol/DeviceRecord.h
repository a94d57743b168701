#pragma once

#include "protocol/ProtocolTypes.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace brenwick {

// What the device told about itself in its replies to the identification.
struct DeviceInfo {
    std::string targetName;
    std::string serialNumber;
    uint16_t auxWord = 0;
    uint16_t bootRev = 0;
    uint16_t flashRev = 0;
    uint32_t productId = protocol::kDefaultProductId; // byte k in bits 8k..8k+7
    bool productIdReported = false;                   // a product ID reply came since the last connect
    int32_t flashSize = 0;
    int32_t pageSize = 0;
    int32_t bootLength = 0;

    std::array<uint8_t, 4> ProductIdBytes() const;
};

// What one reply means to the message that waits for it.
struct ReplyEffect {
    bool releases = false;              // the device took the message
    uint8_t refusal = 0;                // the result code of an acknowledgement that refused it
    std::optional<LinkState> linkState; // what a status reply says of the device
};

// The device's replies, kept as one record: each whole message from the device fills its fields under one
// lock, so that a reader never sees a record half old, half new.
class CDeviceRecord {
  public:
    ReplyEffect Apply(const uint8_t* message, int length);
    DeviceInfo Info() const;
    // A new connection: the product ID counts as not reported until the device sends it again.
    void ForgetProductId();

  private:
    void Store(const uint8_t* message, int length, ReplyEffect& effect);

    mutable std::mutex m_Lock;
    DeviceInfo m_Info;
};

} // namespace brenwick
