#pragma once

#include "protocol/ProtocolTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

namespace brenwick {

// Why the last programming sequence stopped, for front ends that say more than "Programming Error".
enum class SequenceResult {
    NotRun,
    Succeeded,
    ProductMismatch, // the image is for another product: nothing was sent
    BadPageSize,     // the device reported a page size no message can carry: nothing was sent
    TooLarge,        // the image reaches beyond the device's flash: nothing was sent
    NoRelease,       // a message was not answered (or refused) in time, or could not be written
    DeviceGone,      // the line was hung up: the device went away
    Stopped,         // the worker or the operator stopped the run
};

// Which message of a run was not released.
enum class RunStep : uint8_t { None, Prepare, Begin, Page, End };

// Why one message was not released.
enum class SendFailure : uint8_t {
    None,
    NotOpen,      // the port was closed
    WriteStalled, // the line stopped taking bytes, or the write failed
    NoAnswer,     // nothing released it within the reply time
    Refused,      // the device answered with a refusal
    LineGone,     // the line was hung up: the device went away
    Stopped,      // the run or the worker was told to stop
};

// Where a run that did not succeed ended, so that the front ends can say it in words.
struct RunFailure {
    RunStep step = RunStep::None;
    int32_t page = 0; // counted from 1, when the step is a page
    SendFailure why = SendFailure::None;
    uint8_t refusal = 0; // the device's result code when it refused
};

// What a front end shows of the document, read in one call so that the values belong together: bytes sent
// never exceed bytes to send, and a device text is never half old, half new.
struct DocSnapshot {
    LinkState linkState = LinkState::OffLine;
    bool onLine = false;
    bool commandPending = false; // a posted command has not been carried out yet
    bool imageInUse = false;     // a programming run holds the image
    bool runActive = false;      // a run has sent Prepare and not yet ended: the board is being changed
    bool fileLoaded = false;

    std::string targetName;
    std::string serialNumber;
    uint16_t bootRev = 0;
    uint16_t flashRev = 0;
    std::array<uint8_t, 4> productId{};
    int32_t flashSize = 0;
    int32_t pageSize = 0;
    int32_t bootLength = 0;

    int32_t bytesSent = 0;   // of the running sequence; back to 0 once the link is idle again
    int32_t bytesToSend = 0; // of the running or last sequence
    int32_t progress = 0;    // percent, as the panel shows it

    SequenceResult lastSequence = SequenceResult::NotRun;
    RunFailure runFailure;                   // of the last run, when it did not succeed
    std::array<uint8_t, 4> imageProductId{}; // the loaded image's, for the device's boot area
    // The request of the identification or the status poll that the device left unanswered last, if any.
    std::optional<ControlItemCode> unansweredRequest;
    std::error_code lastOpenError; // why the last Connect failed: none, a system error or a serial layer code
};

} // namespace brenwick
