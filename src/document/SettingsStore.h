#pragma once

#include <optional>
#include <string>

namespace brenwick {

// Where the document's values live in the store: sections and names.
namespace store_key {
inline const std::string kIntsSection = "Settings\\Ints";
inline const std::string kStringsSection = "Settings\\Strings";
inline const std::string kPortName = "m_ActivePortName";
inline const std::string kBaudIndex = "m_ComBaudrateIndex";
inline const std::string kFilePaths = "FilePaths";
inline const std::string kProjectFilePath = "g_ProjectFilePath";
} // namespace store_key

// The per-user settings store as the document sees it: text values by section and name. The desktop program
// keeps them in its settings file.
class ISettingsStore {
  public:
    virtual ~ISettingsStore() = default;
    // The stored text, or nothing when the value is absent.
    virtual std::optional<std::string> GetString(const std::string& section, const std::string& name) = 0;
    // False when the value could not be written.
    virtual bool PutString(const std::string& section, const std::string& name, const std::string& value) = 0;
};

} // namespace brenwick
