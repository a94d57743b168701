#pragma once

namespace brenwick {

// A program started with standard input, output or error closed would hand those numbers to the next files
// it opens (a serial port, an output file), and its messages would then go into them. Call this first thing
// in main. On POSIX every one of descriptors 0, 1 and 2 that is closed is pointed at /dev/null; on Windows
// a missing standard handle cannot be taken over that way, and nothing needs doing. False when the streams
// could not be made safe; the program should then end at once, before it opens anything.
bool EnsureStandardStreams();

} // namespace brenwick
