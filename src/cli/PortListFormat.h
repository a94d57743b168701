#pragma once

#include "serial/PortDiscovery.h"

#include <string>
#include <vector>

namespace brenwick::cli {

// The `ports` listing: one device a line (path, by-id name, USB id, product text, "-" where unknown), or a
// JSON array of objects with the same fields and whether the device is on USB (null where that is not known).
std::string PortListText(const std::vector<serial::SerialPortInfo>& ports);
std::string PortListJson(const std::vector<serial::SerialPortInfo>& ports);

} // namespace brenwick::cli
