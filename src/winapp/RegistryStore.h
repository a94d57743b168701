#pragma once

#include "document/SettingsStore.h"

#include <optional>
#include <string>
#include <vector>

namespace brenwick::winapp {

// The Windows program's per-user settings in the registry, under
// HKEY_CURRENT_USER\Software\Veltmark\Brenwick: a key per section ("Settings\Ints", "FilePaths",
// "WindowPos"), every value a string.
//
// The port is kept as the Windows program has always kept it: a plain COM port as its number,
// "Settings\Ints"/"m_ActiveComPort". A port that is no plain COMn (a device path of another form) cannot be
// a number: it is kept by its name in "Settings\Strings"/"m_ActivePortName", which then takes precedence,
// and the number is left as it was for programs that read only the number. A plain COM port written later
// removes the name again.
class CRegistryStore : public ISettingsStore {
  public:
    // `root`: the key the settings live under, below HKEY_CURRENT_USER (tests give one of their own).
    explicit CRegistryStore(std::string root = "Software\\Veltmark\\Brenwick");

    std::optional<std::string> GetString(const std::string& section, const std::string& name) override;
    bool PutString(const std::string& section, const std::string& name, const std::string& value) override;

    // The recent-file list as the program has always kept it: "Recent File List"/"File1".."File3".
    std::vector<std::string> RecentFiles();
    bool PutRecentFiles(const std::vector<std::string>& files);

  private:
    std::optional<std::string> Read(const std::string& section, const std::string& name) const;
    bool Write(const std::string& section, const std::string& name, const std::string& value) const;
    void Erase(const std::string& section, const std::string& name) const;

    std::string m_Root;
};

} // namespace brenwick::winapp
