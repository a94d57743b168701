#pragma once

#include <utility>

namespace brenwick::serial::serial_detail {

// Owns one Win32 kernel handle (an event) for the serial port's header, which must not include
// <windows.h>: its macros carry the names of the serial layer's own constants.
class SystemHandle {
  public:
    SystemHandle() = default;
    ~SystemHandle() { Reset(); }
    SystemHandle(SystemHandle&& other) noexcept : m_Handle(std::exchange(other.m_Handle, nullptr)) {}
    SystemHandle& operator=(SystemHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_Handle, nullptr));
        }
        return *this;
    }
    SystemHandle(const SystemHandle&) = delete;
    SystemHandle& operator=(const SystemHandle&) = delete;

    void* Get() const { return m_Handle; }
    void Reset(void* handle = nullptr);

  private:
    void* m_Handle = nullptr;
};

} // namespace brenwick::serial::serial_detail
