#pragma once

namespace brenwick::cli {

// The command line's exit status, the same for every command; scripts rely on these numbers.
enum ExitCode : int {
    kExitOk = 0,
    kExitDeviceError = 1, // the device reported an error or the sequence failed
    kExitUsage = 2,
    kExitLoadFailed = 3,      // the firmware file cannot be loaded
    kExitLogUnreadable = 3,   // log: the flash log cannot be read
    kExitPortFailed = 4,      // the port cannot be opened
    kExitNoAnswer = 5,        // the device does not answer
    kExitWriteFailed = 6,     // the output cannot be written
    kExitProductMismatch = 7, // the firmware is for another product
    kExitInterrupted = 130,
};

} // namespace brenwick::cli
