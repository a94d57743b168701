#pragma once

#include <string>

namespace brenwick::cli {

// What a path names, links followed, as far as the commands need to know before they open it.
enum class PathKind {
    Unknown, // it cannot be looked at (it does not exist, for one)
    Regular, // a file on a disk
    Fifo,    // a FIFO, or on Windows a named pipe
    Other,   // a folder or a device
};

PathKind KindOfPath(const std::string& path);

// Whether input (a path, or "-" for standard input) and output reach the same regular file under any names
// (a link, a path through other folders).
bool SameRegularFile(const std::string& input, const std::string& output);

} // namespace brenwick::cli
