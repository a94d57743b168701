// The two port settings kept in the per-user store: the port's device path and the baud index.
#include "document/PortSettings.h"

#include "serial/PortDiscovery.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

namespace brenwick {

namespace {

const std::string kIntsSection = "Settings\\Ints";
const std::string kStringsSection = "Settings\\Strings";
const std::string kPortName = "m_ActivePortName";
const std::string kBaudIndex = "m_ComBaudrateIndex";

// A number in "%i" form: optional sign, then decimal, hexadecimal after "0x" or octal after a leading "0";
// whatever follows the number is ignored. Nothing when no number converts or it does not fit an int.
std::optional<int> ParseInt(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 0);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

// With no stored port, the first serial device present; else the first on-board UART.
std::string DefaultPortName() {
    const auto ports = serial::ListSerialPorts();
    return ports.empty() ? serial::FallbackPortName() : ports.front().path;
}

} // namespace

int CPortSettings::LoadSettings(ISettingsStore& store) {
    const auto name = store.GetString(kStringsSection, kPortName);
    const auto index = store.GetString(kIntsSection, kBaudIndex);
    std::lock_guard lock(m_Lock);
    m_ActivePortName = name && !name->empty() ? *name : DefaultPortName();
    m_ComBaudrateIndex = index ? ParseInt(*index).value_or(0) : 0;
    return 1;
}

int CPortSettings::SaveSettings(ISettingsStore& store) const {
    const auto [name, index] = Current();
    // Each value is written even when the other fails, so that one bad write loses no more than itself.
    const bool nameWritten = store.PutString(kStringsSection, kPortName, name);
    const bool indexWritten = store.PutString(kIntsSection, kBaudIndex, std::to_string(index));
    return nameWritten && indexWritten ? 1 : 0;
}

void CPortSettings::Set(const std::string& portName, int baudIndex) {
    std::lock_guard lock(m_Lock);
    m_ActivePortName = portName;
    m_ComBaudrateIndex = baudIndex;
}

CPortSettings::Choice CPortSettings::Current() const {
    std::lock_guard lock(m_Lock);
    return {m_ActivePortName, m_ComBaudrateIndex};
}

} // namespace brenwick
