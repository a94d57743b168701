#include "panel/FlashLogSetting.h"

#include "station/FlashLog.h"

namespace brenwick::panel {

std::string FlashLogPathFrom(ISettingsStore& store) {
    const std::optional<std::string> stored = store.GetString(store_key::kStringsSection, kFlashLogPathName);
    return stored ? *stored : station::DefaultFlashLogPath();
}

} // namespace brenwick::panel
