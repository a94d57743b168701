#pragma once

#include "document/SettingsStore.h"

#include <string>

namespace brenwick::panel {

// Where the windows record their runs: the settings' "FlashLogPath" under Settings\Strings when it is there
// (an empty value keeps no record, as brenwick-cli's --no-log), else the user's default flash log.
inline const std::string kFlashLogPathName = "FlashLogPath";
std::string FlashLogPathFrom(ISettingsStore& store);

} // namespace brenwick::panel
