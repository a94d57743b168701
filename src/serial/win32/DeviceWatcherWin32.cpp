#include "base/win32/UniqueHandle.h"
#include "base/win32/Utf16.h"
#include "serial/DeviceSource.h"
#include "serial/DeviceWatcher.h"
#include "serial/win32/RegistryKey.h"
#include "serial/win32/WindowsApi.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace brenwick::serial {

std::string DefaultWatchFolder() {
    return "";
}

namespace serial_detail {

namespace {

constexpr DWORD kListChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
// The notification outlives the thread that asked for it (Windows 8 and later; refused before).
constexpr DWORD kThreadAgnostic = 0x10000000L;
// A key that keeps coming and going while it is being watched is given up after this many tries.
constexpr int kArmAttempts = 100;

std::string SystemText(DWORD error) {
    wchar_t text[256] = {};
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          error, 0, text, 256, nullptr);
    std::string narrow = Narrow(std::wstring(text, length));
    while (!narrow.empty() && std::isspace(static_cast<unsigned char>(narrow.back())) != 0) {
        narrow.pop_back();
    }
    return narrow.empty() ? "error " + std::to_string(error) : narrow;
}

// The name a port is known by: COM5, com5 and \\.\COM5 are one port.
std::string PortKey(const std::string& name) {
    std::string key(WithoutDevicePrefix(name));
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return key;
}

class CRegistrySource final : public IDeviceSource {
  public:
    CRegistrySource(HKEY root, std::wstring path);
    CRegistrySource(const CRegistrySource&) = delete;
    CRegistrySource& operator=(const CRegistrySource&) = delete;

    const std::string& Error() const override { return m_Error; }
    std::vector<Sighting> List() override;
    SourceNews Wait(std::chrono::milliseconds timeout) override;
    void Wake() override { ::SetEvent(m_Wake.Get()); }

  private:
    // Opens the list's key, or while it is missing the nearest key above it, and asks for its next change.
    void Arm();
    LONG Notify();
    // The COM names the list holds; false when its key cannot be read any more.
    bool ReadNames(std::vector<std::string>& names) const;
    void Fail(const std::string& what, DWORD error) {
        m_Error = error == 0 ? what : what + ": " + SystemText(error);
        m_Key.Close();
    }

    HKEY m_Root;
    std::wstring m_Path;
    std::string m_Shown; // the key's name in messages
    RegistryKey m_Key;
    bool m_AtList = false;
    UniqueHandle m_Changed;
    UniqueHandle m_Wake;
    // The port list's details, read again when a name comes that the last listing did not have.
    std::vector<SerialPortInfo> m_Details;
    std::set<std::string> m_Listed;
    std::string m_Error;
};

CRegistrySource::CRegistrySource(HKEY root, std::wstring path)
    : m_Root(root), m_Path(std::move(path)),
      m_Shown((root == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\") + Narrow(m_Path)),
      m_Changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_Wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!m_Changed.Valid() || !m_Wake.Valid()) {
        Fail("cannot make an event", ::GetLastError());
        return;
    }
    Arm();
}

LONG CRegistrySource::Notify() {
    const DWORD filter = m_AtList ? kListChanges : REG_NOTIFY_CHANGE_NAME;
    LONG rc = ::RegNotifyChangeKeyValue(m_Key.Get(), FALSE, filter | kThreadAgnostic, m_Changed.Get(), TRUE);
    if (rc == ERROR_INVALID_PARAMETER) {
        rc = ::RegNotifyChangeKeyValue(m_Key.Get(), FALSE, filter, m_Changed.Get(), TRUE);
    }
    return rc;
}

void CRegistrySource::Arm() {
    for (int attempt = 0; attempt < kArmAttempts; ++attempt) {
        m_AtList = m_Key.Open(m_Root, m_Path.c_str(), KEY_QUERY_VALUE | KEY_NOTIFY);
        for (std::wstring above = m_Path; !m_AtList && !m_Key.Open(m_Root, above.c_str(), KEY_NOTIFY);) {
            if (above.empty()) {
                Fail("cannot watch " + m_Shown, ERROR_ACCESS_DENIED);
                return;
            }
            const size_t cut = above.rfind(L'\\');
            above.resize(cut == std::wstring::npos ? 0 : cut);
        }
        // Closing the key held before may have signalled the event.
        ::ResetEvent(m_Changed.Get());
        if (const LONG rc = Notify(); rc != RegistryKey::kSuccess) {
            Fail("cannot watch " + m_Shown, static_cast<DWORD>(rc));
            return;
        }
        if (m_AtList || !RegistryKey(m_Root, m_Path.c_str(), KEY_QUERY_VALUE).Get()) {
            return; // the key, or its creation, will show on the event
        }
    }
    Fail("cannot watch " + m_Shown + ": it keeps coming and going", 0);
}

bool CRegistrySource::ReadNames(std::vector<std::string>& names) const {
    names.clear();
    std::vector<std::pair<std::wstring, std::wstring>> values;
    if (!m_AtList || !m_Key.TextValues(values)) {
        return false;
    }
    for (const auto& value : values) {
        if (!value.second.empty()) {
            names.push_back(Narrow(value.second));
        }
    }
    return true;
}

std::vector<Sighting> CRegistrySource::List() {
    std::vector<Sighting> seen;
    std::vector<std::string> names;
    if (!ReadNames(names)) {
        m_Listed.clear();
        return seen;
    }
    std::set<std::string> listed;
    for (const std::string& name : names) {
        listed.insert(PortKey(name));
    }
    if (!std::includes(m_Listed.begin(), m_Listed.end(), listed.begin(), listed.end())) {
        m_Details = ListSerialPorts();
    }
    m_Listed = listed;
    for (const std::string& name : names) {
        SerialPortInfo port;
        const auto found = std::find_if(m_Details.begin(), m_Details.end(), [&](const SerialPortInfo& known) {
            return SamePortName(known.path, name, PortNameRules::Windows);
        });
        if (found != m_Details.end()) {
            port = *found;
        } else {
            port.busKnown = false; // no driver of the system's list has it
        }
        port.path = name;
        port.byId.clear();
        seen.push_back({PortKey(name), port});
    }
    std::sort(seen.begin(), seen.end(), [](const Sighting& a, const Sighting& b) { return a.key < b.key; });
    return seen;
}

SourceNews CRegistrySource::Wait(std::chrono::milliseconds timeout) {
    SourceNews news;
    if (!m_Error.empty()) {
        return news;
    }
    const HANDLE events[2] = {m_Wake.Get(), m_Changed.Get()};
    const DWORD ms =
        static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, 0x7FFFFFFF));
    const DWORD rc = ::WaitForMultipleObjects(2, events, FALSE, ms);
    if (rc == WAIT_OBJECT_0) {
        news.woken = true;
    } else if (rc == WAIT_OBJECT_0 + 1) {
        // Asked again before reading, so that no change between the two goes unheard. A key that went
        // (re-arming or reading fails) is awaited again from above.
        std::vector<std::string> names;
        if (!m_AtList || Notify() != RegistryKey::kSuccess || !ReadNames(names)) {
            Arm();
        }
        news.complete = true;
        news.seen = List();
    } else if (rc != WAIT_TIMEOUT) {
        Fail("cannot wait for registry changes", ::GetLastError());
    }
    return news;
}

} // namespace

std::unique_ptr<IDeviceSource> OpenDeviceSource(const std::string& folder) {
    if (folder.empty()) {
        return std::make_unique<CRegistrySource>(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    }
    std::wstring path = Widen(folder);
    const size_t first = path.find_first_not_of(L'\\');
    const size_t last = path.find_last_not_of(L'\\');
    path = first == std::wstring::npos ? L"" : path.substr(first, last - first + 1);
    return std::make_unique<CRegistrySource>(HKEY_CURRENT_USER, path);
}

} // namespace serial_detail

} // namespace brenwick::serial
