#include "image/LoadResult.h"

#include <cstdio>
#include <cstring>

namespace brenwick {

namespace {

std::string AtLine(const std::string& what, int line) {
    return line > 0 ? what + " at line " + std::to_string(line) : what;
}

} // namespace

std::string LoadResult::Describe() const {
    switch (error) {
    case LoadError::None:
        return "loaded";
    case LoadError::CannotOpen:
        return std::string("cannot open the file: ") + std::strerror(errnoValue);
    case LoadError::NotFirmwareName:
        return "not a firmware file: the name must end in .hex or .bin";
    case LoadError::NoEndRecord:
        return "the file ends without an end-of-file record";
    case LoadError::BadRecord:
        return AtLine("unreadable record", line);
    case LoadError::AddressOutsideWindow: {
        char text[80];
        std::snprintf(text, sizeof text, "data address 0x%06X outside the window 0x100000..0x13FFFF",
                      address);
        return AtLine(text, line);
    }
    case LoadError::BadChecksum:
        return AtLine("bad checksum", line);
    case LoadError::ReadError:
        return errnoValue != 0 ? std::string("cannot read the file: ") + std::strerror(errnoValue)
                               : std::string("the file could not be read to its end");
    case LoadError::UnknownFamily:
        return "unknown family: the application's first word is neither a SAM7 nor a Cortex-M vector";
    case LoadError::TooLarge:
        return "too large: the image, its byte sum or its information block would not fit the 256 KiB flash "
               "image";
    case LoadError::BootAreaTooLarge:
        return "the device's boot area reaches past the end of the image: nothing to program";
    case LoadError::NoHexRecords:
        return "not a firmware file: no Intel HEX records in what it delivers";
    case LoadError::NoData:
        return "not a firmware file: nothing arrived from it in time";
    case LoadError::Interrupted:
        return "interrupted";
    case LoadError::NotRegularFile:
        return "not a regular file (a FIFO, pipe or device): open a firmware file saved on disk";
    case LoadError::ImageInUse:
        return "the image is being programmed into a device; try again when programming has ended";
    }
    return "unknown error";
}

} // namespace brenwick
