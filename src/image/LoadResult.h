#pragma once

#include <cstdint>
#include <string>

namespace brenwick {

// Why a firmware file did not load. The document only reports success or failure; the command line and the
// panel's details show the reason.
enum class LoadError {
    None,
    CannotOpen,      // open(2) failed: errnoValue says why
    NotFirmwareName, // the name ends in neither "hex" nor "bin"
    NoEndRecord,     // HEX: end of file before the next ':'
    BadRecord,       // HEX: offset, type, address, data byte or checksum could not be read
    AddressOutsideWindow,
    BadChecksum,
    ReadError,        // read(2) failed or a .bin file came up short
    UnknownFamily,    // the application's first word is neither SAM7 nor Cortex-M
    TooLarge,         // the data, its byte sum or the information block would not fit the image
    BootAreaTooLarge, // the device's boot area covers the whole image: nothing to stamp
    ImageInUse,       // a programming run is sending the image: it must not change under it
    NoHexRecords,     // HEX: megabytes of input without a record, or far more text than any image needs
    NoData,           // a pipe or device delivered nothing within the idle limit
    Interrupted,      // the caller's stop hook ended the read
    NotRegularFile,   // a pipe, FIFO or device where only a file on a disk will do
};

struct LoadResult {
    LoadError error = LoadError::None;
    int line = 0;         // HEX line of the failing record, counted from 1; 0 when not tied to a line
    int errnoValue = 0;   // for CannotOpen and ReadError
    uint32_t address = 0; // for AddressOutsideWindow

    // A failed load: the error and, where they apply, the HEX line, the errno value and the address.
    static LoadResult Failure(LoadError why, int atLine = 0, int errnoOf = 0, uint32_t atAddress = 0) {
        return {why, atLine, errnoOf, atAddress};
    }

    bool Ok() const { return error == LoadError::None; }
    std::string Describe() const;
};

} // namespace brenwick
