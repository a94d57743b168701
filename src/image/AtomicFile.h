#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace brenwick {

// Writes data to path without ever leaving a truncated file behind and without harming what path names:
// - a regular file (or a new one) is written to a temporary file in its own folder, flushed to disk and
//   renamed into place only when every byte was written; a replaced file keeps its mode, a new one gets
//   0666 less the umask;
// - a symbolic link is followed (chains and relative links too) and the file it names is replaced, so the
//   link stays a link;
// - anything else that exists (a character or block device, a FIFO) is written into as it is: it is never
//   created, truncated, replaced or deleted. A FIFO without a reader fails at once with ENXIO, and a write
//   that makes no progress for a long time fails with ETIMEDOUT rather than waiting for ever.
// On Windows the temporary file is flushed and moved over the target with MoveFileEx; the replaced file's
// attributes are not carried over (a read-only target is refused with EACCES, one that another program
// holds open without letting it be deleted with ETXTBSY). The move is as durable as the file system makes
// it: Windows has no way for a program without administrator rights to flush a folder's entries. A device
// or pipe (NUL, COM1, \\.\pipe\name) is written into as it is, and a pipe or port that takes nothing for a
// long time fails with ETIMEDOUT.
// Returns 0 or the errno value of the step that failed (Win32 errors as the nearest errno value).
int WriteFileAtomically(const std::string& path, std::span<const uint8_t> data);

// The words for an error of WriteFileAtomically: the system's text, or on Windows for ETXTBSY (a target in
// use) "the file is in use by another program".
std::string WriteErrorText(int errnoValue);

} // namespace brenwick
