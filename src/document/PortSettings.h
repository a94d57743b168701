#pragma once

#include "document/SettingsStore.h"

#include <mutex>
#include <string>

namespace brenwick {

// The port for the next Connect: the device path and the baud index, kept in the per-user store. The front
// end sets them; the link worker reads them when it connects.
class CPortSettings {
  public:
    struct Choice {
        std::string portName;
        int baudIndex = 0;
    };

    int LoadSettings(ISettingsStore& store);
    // 1 when both values were written; each is written even when the other cannot be.
    int SaveSettings(ISettingsStore& store) const;
    void Set(const std::string& portName, int baudIndex);
    std::string ActivePortName() const { return Current().portName; }
    int ComBaudrateIndex() const { return Current().baudIndex; }
    // Both values as they belong together.
    Choice Current() const;

  private:
    mutable std::mutex m_Lock;
    std::string m_ActivePortName;
    int m_ComBaudrateIndex = 0;
};

} // namespace brenwick
