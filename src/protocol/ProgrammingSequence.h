#pragma once

#include "image/FirmwareImage.h"
#include "protocol/DeviceRecord.h"

#include <cstdint>

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

// How one message fared: released (SendFailure::None), or why not.
struct SendOutcome {
    SendFailure why = SendFailure::None;
    uint8_t refusal = 0; // the device's result code when it refused
};

// Where a run that did not succeed ended, so that the front ends can say it in words.
struct RunFailure {
    RunStep step = RunStep::None;
    int32_t page = 0; // counted from 1, when the step is a page
    SendFailure why = SendFailure::None;
    uint8_t refusal = 0; // the device's result code when it refused
};

// What a run needs of the link: one message out and the device's answer, and pauses that a stop cuts short.
class IMessageTransport {
  public:
    virtual ~IMessageTransport() = default;
    // Sends one framed message and waits for the device to release it.
    virtual SendOutcome SendAndWait(const uint8_t* message) = 0;
    // Waits up to timeoutMs, ending early when the run is told to stop; false when stopped.
    virtual bool PauseUnlessStopped(uint32_t timeoutMs) = 0;
    virtual bool RunStopping() const = 0;
    // Bytes of pages handed to the line so far in this run.
    virtual void OnBytesSent(int32_t sent) = 0;
    // Prepare goes out: from here on the board is being changed.
    virtual void OnBoardChanging() = 0;
};

// What the operator is told when the image is for another product.
inline constexpr const char* kWrongProductText = "Invalid .hex file for this Product";

// Bytes a sequence sends for the device's geometry: whole pages from the end of the boot area up to and
// including the byte sum behind the image.
int32_t BytesToSend(int32_t imageLength, int32_t bootLength, int32_t pageSize);

// The programming sequence for `device` as it stood when the run began: product check, Prepare, a fixed
// pause, Begin, the image one flash page per message from the end of the boot area, End. An image that cannot
// go to this device is refused before anything is sent. When the run does not succeed, `failure` says where.
SequenceResult RunSequence(IMessageTransport& link, const CFirmwareImage& image, const DeviceInfo& device,
                           RunFailure& failure);

} // namespace brenwick
