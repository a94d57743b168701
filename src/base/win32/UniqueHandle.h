#pragma once

#include <windows.h>

#include <utility>

namespace brenwick {

// Owns one Win32 kernel handle (file, device, event) and closes it when it goes; moves hand it on. Both
// null and INVALID_HANDLE_VALUE mean "none", as the API returns either.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_Handle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_Handle(std::exchange(other.m_Handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_Handle, nullptr));
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return m_Handle; }
    bool Valid() const { return m_Handle != nullptr && m_Handle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) {
            ::CloseHandle(m_Handle);
        }
        m_Handle = handle;
    }
    HANDLE Release() { return std::exchange(m_Handle, nullptr); }

  private:
    HANDLE m_Handle = nullptr;
};

} // namespace brenwick
