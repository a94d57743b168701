#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Writes data to path so that path holds either its old contents or all of the new ones, never a truncated
// file: the bytes go to a temporary file in the same folder, which is flushed to disk and renamed into place
// only when every byte was written. Returns 0 or the errno value of the step that failed.
int WriteFileAtomically(const std::string& path, std::span<const uint8_t> data);
