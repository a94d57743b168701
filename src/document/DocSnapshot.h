#pragma once

#include "protocol/ProgrammingSequence.h"
#include "protocol/ProtocolTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

namespace brenwick {

// What a front end shows of the document, read in one call so that the values belong together: bytes sent
// never exceed bytes to send, and a device text is never half old, half new.
struct DocSnapshot {
    LinkState linkState = LinkState::OffLine;
    bool onLine = false;
    bool commandPending = false; // a posted command has not been carried out yet
    bool imageInUse = false;     // a programming run holds the image
    bool runActive = false;      // a run has sent Prepare and not yet ended: the board is being changed
    bool fileLoaded = false;

    DeviceInfo device;

    int32_t bytesSent = 0;   // of the running sequence; back to 0 once the link is idle again
    int32_t bytesToSend = 0; // of the running or last sequence
    int32_t progress = 0;    // percent, as the panel shows it

    SequenceResult lastSequence = SequenceResult::NotRun;
    RunFailure runFailure;                   // of the last run, when it did not succeed
    std::array<uint8_t, 4> imageProductId{}; // the loaded image's, for the device's boot area
    // The request of the identification or the status poll that the device left unanswered last, if any.
    std::optional<ControlItemCode> unansweredRequest;
    std::error_code lastOpenError; // why the last Connect failed
    bool lineGone = false;         // the open port was hung up: the device went away (unplugged, reset)
};

} // namespace brenwick
