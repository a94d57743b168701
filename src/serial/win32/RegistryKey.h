#pragma once

#include "serial/win32/WindowsApi.h"

#include <string>
#include <utility>
#include <vector>

namespace brenwick::serial {

// An open registry key, closed when it goes.
class RegistryKey {
  public:
    RegistryKey() = default;
    RegistryKey(HKEY root, const wchar_t* path, REGSAM access = KEY_READ) { Open(root, path, access); }
    // A key SetupDiOpenDevRegKey opened, or INVALID_HANDLE_VALUE.
    explicit RegistryKey(HKEY key) : m_Key(key == INVALID_HANDLE_VALUE ? nullptr : key) {}
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY Get() const { return m_Key; }

    // Opens path under root in place of the key held; false (and no key) when it cannot.
    bool Open(HKEY root, const wchar_t* path, REGSAM access) {
        Close();
        if (::RegOpenKeyExW(root, path, 0, access, &m_Key) != kSuccess) {
            m_Key = nullptr;
        }
        return m_Key != nullptr;
    }
    void Close() {
        if (m_Key != nullptr) {
            ::RegCloseKey(std::exchange(m_Key, nullptr));
        }
    }

    // A text value, or "" when there is none.
    std::wstring Text(const wchar_t* name) const {
        wchar_t data[256];
        DWORD bytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        if (m_Key == nullptr ||
            ::RegQueryValueExW(m_Key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) !=
                kSuccess ||
            type != REG_SZ) {
            return L"";
        }
        data[bytes / sizeof(wchar_t)] = L'\0';
        return data;
    }

    // Each text value as (name, text), in the registry's order; false when the key cannot be read (as once it
    // is deleted). Names and texts too long for a port are left out.
    bool TextValues(std::vector<std::pair<std::wstring, std::wstring>>& values) const {
        values.clear();
        for (DWORD index = 0;; ++index) {
            wchar_t name[256];
            DWORD nameLength = 256;
            wchar_t data[256];
            DWORD dataBytes = sizeof data - sizeof(wchar_t);
            DWORD type = 0;
            const LONG rc = ::RegEnumValueW(m_Key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
            if (rc == ERROR_NO_MORE_ITEMS) {
                return true;
            }
            if (rc == ERROR_MORE_DATA) {
                continue;
            }
            if (rc != kSuccess) {
                return false;
            }
            if (type == REG_SZ) {
                data[dataBytes / sizeof(wchar_t)] = L'\0';
                values.emplace_back(std::wstring(name, nameLength), data);
            }
        }
    }

    static constexpr LONG kSuccess = 0; // ERROR_SUCCESS, which the serial layer's names hide

  private:
    HKEY m_Key = nullptr;
};

} // namespace brenwick::serial
