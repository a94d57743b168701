#pragma once

#include <cstdint>
#include <string>

namespace brenwick {

// Everything that describes one simulated boot loader: what it reports, how big its flash is, the faults it
// injects and how it paces the line.
struct DeviceSimOptions {
    std::string name = "Brenwick SIM";
    std::string serial = "SIM000001";
    uint8_t productId[4] = {0x5A, 0xFF, 0xA5, 0x00};
    uint16_t bootRev = 120; // hundredths: 1.20
    uint16_t flashRev = 100;
    uint16_t auxWord = 0;
    int32_t flashSize = 0x40000;
    int32_t pageSize = 256;
    int32_t bootLength = 0x4000;
    bool silent = false;          // answers nothing at all
    bool noGeometry = false;      // answers everything but the flash geometry request
    int nakPage = 0;              // pages count from 1 after each Begin; 0 = off
    int hangUpPage = 0;           // closes the line on receiving that page; 0 = off
    int replyDelayMs = 0;         // extra delay before each reply
    bool stallAfterBegin = false; // stops reading the line once Begin is answered, as a wedged device does
    int quietAfterEndMs = 0;      // answers nothing for this long after End (busy writing, or restarting)
    int baud = 0;                 // 0 = unpaced; else 10 bits of line time per byte, both ways
    std::string flashOut;         // the whole flash is written here at End (and by the program at exit)
    bool verbose = false;         // every message in and out on standard error, in hex
    std::string linkPath;         // a symlink to the port, replaced if one exists, removed at Stop
    int plugAfterMs = 0;          // the program waits this long before the device appears; 0 = at once
    int unplugAfterMs = 0;        // the program ends the device this long after it appeared; 0 = never
};

namespace devsim {

inline constexpr int32_t kMaxFlashSize = 64 * 1024 * 1024;
inline constexpr int32_t kMaxPageSize = 8185; // a DataItem of page + 6 bytes must fit the 13-bit length
inline constexpr size_t kMaxTextLength = 255;
inline constexpr int kMaxReplyDelayMs = 60000;
inline constexpr int kMinBaud = 50;
inline constexpr int kMaxBaud = 4000000;

// Checks the options for values the device cannot serve (a reply that would not fit a frame, a boot area
// outside the flash, ...). Returns false and a sentence in *error when one is found.
bool ValidateOptions(const DeviceSimOptions& options, std::string* error);

} // namespace devsim

} // namespace brenwick
