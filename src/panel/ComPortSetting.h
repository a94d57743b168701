#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brenwick::panel {

// The Windows program keeps its port as a COM number ("m_ActiveComPort": n of COMn). The number of a plain
// COM port name, whatever its case and with or without the device prefix ("COM5", "com5", "\\.\COM12");
// nothing for any other name (a port that must then be kept by its name).
std::optional<int> ComPortNumber(std::string_view name);

// The port name for a stored number: "COM" and the number.
std::string ComPortName(int number);

} // namespace brenwick::panel
