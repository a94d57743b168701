#include "winapp/RegistryStore.h"

#include "base/ParseInt.h"
#include "base/win32/Utf16.h"
#include "panel/ComPortSetting.h"
#include "panel/RecentFiles.h"

#include <windows.h>

namespace brenwick::winapp {

using namespace store_key;

namespace {

const std::string kComPortNumber = "m_ActiveComPort";
const std::string kRecentFiles = "Recent File List";

std::string RecentName(size_t index) {
    return "File" + std::to_string(index + 1);
}

// Closes a registry key when it goes.
class CKey {
  public:
    CKey() = default;
    ~CKey() {
        if (m_Key != nullptr) {
            ::RegCloseKey(m_Key);
        }
    }
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    HKEY* Out() { return &m_Key; }
    HKEY Get() const { return m_Key; }

  private:
    HKEY m_Key = nullptr;
};

} // namespace

CRegistryStore::CRegistryStore(std::string root) : m_Root(std::move(root)) {}

std::optional<std::string> CRegistryStore::Read(const std::string& section, const std::string& name) const {
    const std::wstring key = Widen(m_Root + "\\" + section);
    const std::wstring value = Widen(name);
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                       &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The value may grow between the two calls: ask again with the size the second call reports.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS rc = ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ,
                                          nullptr, text.data(), &size);
        if (rc == ERROR_SUCCESS) {
            text.resize(size / sizeof(wchar_t));
            while (!text.empty() && text.back() == L'\0') {
                text.pop_back();
            }
            return Narrow(text);
        }
        if (rc != ERROR_MORE_DATA) {
            return std::nullopt;
        }
        bytes = size;
    }
    return std::nullopt;
}

bool CRegistryStore::Write(const std::string& section, const std::string& name,
                           const std::string& value) const {
    CKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, Widen(m_Root + "\\" + section).c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, key.Out(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring text = Widen(value);
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), Widen(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
}

void CRegistryStore::Erase(const std::string& section, const std::string& name) const {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, Widen(m_Root + "\\" + section).c_str(), Widen(name).c_str());
}

std::optional<std::string> CRegistryStore::GetString(const std::string& section, const std::string& name) {
    if (section != kStringsSection || name != kPortName) {
        return Read(section, name);
    }
    if (auto byName = Read(kStringsSection, kPortName); byName && !byName->empty()) {
        return byName;
    }
    const auto number = Read(kIntsSection, kComPortNumber);
    if (!number || number->empty()) {
        return std::nullopt; // nothing stored: the program chooses
    }
    // A stored text that is no number means COM1, as it always has.
    return panel::ComPortName(ParseInt(*number).value_or(1));
}

bool CRegistryStore::PutString(const std::string& section, const std::string& name,
                               const std::string& value) {
    if (section != kStringsSection || name != kPortName) {
        return Write(section, name, value);
    }
    if (const auto number = panel::ComPortNumber(value)) {
        if (!Write(kIntsSection, kComPortNumber, std::to_string(*number))) {
            return false;
        }
        Erase(kStringsSection, kPortName);
        return true;
    }
    return Write(kStringsSection, kPortName, value);
}

std::vector<std::string> CRegistryStore::RecentFiles() {
    std::vector<std::string> files;
    for (size_t i = 0; i < panel::CRecentFiles::kMaxCount; ++i) {
        if (auto file = Read(kRecentFiles, RecentName(i)); file && !file->empty()) {
            files.push_back(std::move(*file));
        }
    }
    return files;
}

bool CRegistryStore::PutRecentFiles(const std::vector<std::string>& files) {
    bool written = true;
    for (size_t i = 0; i < panel::CRecentFiles::kMaxCount; ++i) {
        if (i < files.size()) {
            written = Write(kRecentFiles, RecentName(i), files[i]) && written;
        } else {
            Erase(kRecentFiles, RecentName(i));
        }
    }
    return written;
}

} // namespace brenwick::winapp
