#pragma once

#include <cstdint>
#include <utility>

namespace brenwick {

// Owns one Win32 kernel handle (file, device, event) and closes it when it goes; moves hand it on. Both
// null and INVALID_HANDLE_VALUE mean "none", as the API returns either. A HANDLE is a void*: this header
// needs no <windows.h>, so headers of the core can hold handles without its macros.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(void* handle) : m_Handle(handle) {}
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

    void* Get() const { return m_Handle; }
    bool Valid() const { return m_Handle != nullptr && m_Handle != InvalidValue(); }
    void Reset(void* handle = nullptr);
    void* Release() { return std::exchange(m_Handle, nullptr); }

  private:
    static void* InvalidValue() { return reinterpret_cast<void*>(~uintptr_t{0}); } // INVALID_HANDLE_VALUE
    void* m_Handle = nullptr;
};

} // namespace brenwick
