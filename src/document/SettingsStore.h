#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace brenwick {

// The per-user settings store as the document sees it: text values by section and name. The desktop program
// keeps them in its settings file; the tests and the command line use the in-memory store below.
class ISettingsStore {
  public:
    virtual ~ISettingsStore() = default;
    // The stored text, or nothing when the value is absent.
    virtual std::optional<std::string> GetString(const std::string& section, const std::string& name) = 0;
    // False when the value could not be written.
    virtual bool PutString(const std::string& section, const std::string& name, const std::string& value) = 0;
};

class CMemorySettingsStore : public ISettingsStore {
  public:
    std::optional<std::string> GetString(const std::string& section, const std::string& name) override {
        const auto it = m_Values.find({section, name});
        return it == m_Values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    bool PutString(const std::string& section, const std::string& name, const std::string& value) override {
        if (m_FailNames.contains(name)) {
            return false;
        }
        m_Values[{section, name}] = value;
        return true;
    }

    // Values by these names are not written: lets tests see how a store that fails some writes is handled.
    std::set<std::string> m_FailNames;

  private:
    std::map<std::pair<std::string, std::string>, std::string> m_Values;
};

} // namespace brenwick
