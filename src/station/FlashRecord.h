#pragma once

#include <cstdint>
#include <string>

namespace brenwick::station {

// One board's flash run, as the flash log keeps it (one JSON line each, see FlashLog.h).
struct FlashRecord {
    std::string time;         // UTC, ISO 8601: "2026-12-08T05:40:12Z"
    std::string station;      // host name
    std::string operatorName; // user name
    std::string port;
    std::string device; // the name the device reports
    std::string serialNumber;
    std::string productId;    // as the program shows it elsewhere, e.g. "5AFFA500"
    std::string bootRevision; // "1.20"
    std::string flashRevision;
    std::string firmware;      // the firmware file's path
    std::string sha256;        // of the firmware file's bytes, lower-case hex
    int64_t stampedLength = 0; // the length and byte sum stamped into the image
    uint32_t stampedSum = 0;
    bool passed = false;
    std::string result; // the program's short result text, "OK" when passed
    std::string reason; // why it failed, "" when passed
    int64_t bytesSent = 0;
    double seconds = 0;  // duration of the run for this board
    std::string version; // program version
};

} // namespace brenwick::station
