#pragma once

#include "document/SettingsStore.h"

#include <map>
#include <set>
#include <string>
#include <utility>

namespace brenwick {

// A settings store in memory, for the tests of what the document and the window keep in the settings.
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
