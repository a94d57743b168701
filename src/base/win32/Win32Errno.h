#pragma once

#include <windows.h>

namespace brenwick {

// The errno value the program's messages already explain for a Win32 error code (EIO when none fits), so
// that callers and their texts are the same on both systems.
int ErrnoFromWin32(DWORD error);

// The same for the calling thread's last error.
inline int LastErrno() {
    return ErrnoFromWin32(::GetLastError());
}

} // namespace brenwick
