#include "base/win32/UniqueHandle.h"

#include <windows.h>

namespace brenwick {

static_assert(sizeof(HANDLE) == sizeof(void*));

void UniqueHandle::Reset(void* handle) {
    if (Valid()) {
        ::CloseHandle(m_Handle);
    }
    m_Handle = handle;
}

} // namespace brenwick
