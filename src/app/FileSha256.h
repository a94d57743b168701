#pragma once

#include <string>

namespace brenwick::app {

// The SHA-256 of a regular file's bytes as lower-case hex (the station's file hasher). A FIFO or a device is
// refused without being opened: it could keep the GUI thread waiting, and its bytes are not a file's.
bool FileSha256(const std::string& path, std::string* hex, std::string* error);

} // namespace brenwick::app
