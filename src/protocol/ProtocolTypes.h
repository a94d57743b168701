#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace brenwick {

// Numbers of the boot loader's protocol and of the link, kept as tables a reader can hold beside the device's
// documentation.

// Message type, header bits 13-15.
enum class MessageType : uint8_t {
    ControlItem = 0,
    RequestItem = 1,
    AckItem = 3,
    DataItem = 4,
};

enum class ControlItemCode : uint16_t {
    TargetName = 0x0001,
    SerialNumber = 0x0002,
    AuxWord = 0x0003,
    Revision = 0x0004,
    Status = 0x0005,
    ProductId = 0x0009,
    ProgramControl = 0x0300,
    FlashGeometry = 0x0302,
};

enum class ProgramPhase : uint8_t { Prepare = 0, Begin = 1, End = 2 };

enum class LinkState : int32_t {
    Connected = 0,
    PortOpenFailed = 1,
    NotConnected = 2,
    OffLine = 3,
    Programming = 4,
    ProgrammingError = 5,
};

enum class WorkerCommand : int32_t { None = 0, Connect = 1, Disconnect = 2, Program = 3 };

namespace protocol {

inline constexpr uint32_t kPortMessage = 1044; // WM_USER + 20: port notifications for the document
inline constexpr int kTxBufferSize = 8192;
inline constexpr int kRxBufferSize = 8194; // a length field of 0 stands for 8194 bytes
inline constexpr int kMaxLengthField = 0x1FFF;
inline constexpr int kDataItemHeader = 6;                              // header word and target address
inline constexpr int kMaxPageSize = kMaxLengthField - kDataItemHeader; // 8185: a page must fit one message
inline constexpr uint32_t kReplyTimeoutMs = 500;
inline constexpr uint32_t kIdleWaitMs = 500;
inline constexpr uint32_t kPreparePauseMs = 2000;
inline constexpr int kIdleResetCount = 5;
inline constexpr int kWriteRetries = 100;
inline constexpr uint32_t kWriteRetryPauseMs = 100;
inline constexpr uint32_t kWriteTimeoutFloorMs = 500;
inline constexpr uint32_t kStopCancelEveryMs = 20; // a stopping worker's writes are cancelled this often
inline constexpr uint32_t kStopRunLimitMs = 5000;  // how long a stopped run may take to leave its message
inline constexpr uint32_t kReadChunk = 16384;
inline constexpr uint32_t kDefaultProductId = 0x00A5FF5A; // bytes 5A FF A5 00

// Baud rates; the stored index k selects entry k + 1, so index 0 is 1200 baud and 12 is 256000.
inline constexpr std::array<int32_t, 14> kBaudRateTable = {
    0, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 230400, 256000};
inline constexpr int kMaxBaudIndex = 12;

// The baud rate for a stored index, or 0 for an index outside the table.
inline constexpr int32_t BaudRateForIndex(int index) {
    return index >= 0 && index <= kMaxBaudIndex ? kBaudRateTable[static_cast<size_t>(index) + 1] : 0;
}
// The stored index for a baud rate of the table, or -1.
inline constexpr int BaudIndexForRate(int32_t rate) {
    for (int k = 0; k <= kMaxBaudIndex; ++k) {
        if (kBaudRateTable[static_cast<size_t>(k) + 1] == rate) {
            return k;
        }
    }
    return -1;
}
// 115200 baud, the rate most boot loaders listen at: the command line's default, and the window's choice when
// it has no usable index of its own.
inline constexpr int kDefaultBaudIndex = BaudIndexForRate(115200);
// What a missing or unreadable stored index reads as: the table's first rate, 1200 baud.
inline constexpr int kUnsetBaudIndex = 0;

// Device status byte to link state: 15 and 16 programming, 128 error, anything else connected.
inline constexpr LinkState LinkStateForStatus(uint8_t status) {
    switch (status) {
    case 15:
    case 16:
        return LinkState::Programming;
    case 128:
        return LinkState::ProgrammingError;
    default:
        return LinkState::Connected;
    }
}

inline constexpr std::array<std::string_view, 6> kLinkStateText = {
    "Connected", "COM Port Failed To Open", "Not Connected", "Off Line", "Programming", "Programming Error",
};

inline constexpr std::string_view LinkStateText(LinkState state) {
    const auto index = static_cast<size_t>(state);
    return index < kLinkStateText.size() ? kLinkStateText[index] : std::string_view("Unknown");
}

} // namespace protocol

} // namespace brenwick
