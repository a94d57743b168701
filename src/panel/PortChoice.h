#pragma once

#include "serial/PortDiscovery.h"

#include <string>
#include <vector>

namespace brenwick::panel {

// What the port setup dialog offers and how it reads the operator's choice back, for every window front
// end: the ports present under the names they are kept by, the baud lines, and the rules for a port that
// is not present and for a name typed into the port box.

// The name a port is kept under: its stable name when it has one (Linux's by-id link), else its path.
std::string StoredName(const serial::SerialPortInfo& port);
// "product - USB vvvv:pppp - path", leaving out what is not known.
std::string DescribePort(const serial::SerialPortInfo& port);

// The line of `ports` that is `current` (by its kept name or by its path); -1 when it is not present.
int LineOfPort(const std::vector<serial::SerialPortInfo>& ports, const std::string& current);

// The port chosen at OK: a name typed into the box counts when it differs from the chosen line's text
// (white space around it dropped); otherwise the chosen line's, or `current` when no line is chosen.
std::string ChosenPort(const std::string& typed, const std::string& chosenLine, const std::string& current);

// The baud box's lines ("1200" .. "921600"), one per index; the index of a line is the stored value.
std::vector<std::string> BaudLines();
// The line to select for a stored index: -1 (none) outside the table, which keeps the index unchanged.
int BaudLineOf(int index);

} // namespace brenwick::panel
