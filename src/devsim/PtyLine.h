#pragma once

#include "base/UniqueFd.h"
#include "devsim/DeviceFrame.h"

#include <cstdint>
#include <span>
#include <string>

namespace brenwick {

// The device's end of a pseudo-terminal and the waits around it. Every wait also watches a wake-up
// descriptor, so that stopping the device never waits for a delay to run out.
namespace devsim {

struct PtyPair {
    UniqueFd master;  // the device's side, non-blocking
    UniqueFd slave;   // kept open so that the master sees no hang-up while no host has the port open
    std::string path; // what a host opens
};

// Opens a pseudo-terminal whose slave is already raw when the path is handed out.
bool OpenRawPty(PtyPair& pty, std::string* error);

// Sleeps until `deadline`; false when wakeFd became readable first.
bool WaitUntil(Clock::time_point deadline, int wakeFd);

enum class WriteResult { Done, Stopped, Failed };

// Writes all bytes to a non-blocking fd, waiting for room (at most stallMs at a time) when it is full.
WriteResult WriteAll(int fd, std::span<const uint8_t> bytes, int wakeFd, int stallMs);

// Points `link` at `target`, replacing an existing symlink (but never any other kind of file).
bool PlaceLink(const std::string& link, const std::string& target, std::string* error);

// Removes `link` if it is still a symlink to `target`.
void RemoveLink(const std::string& link, const std::string& target);

} // namespace devsim

} // namespace brenwick
