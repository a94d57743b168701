// The two port settings kept in the per-user store: the port's device path and the baud index.
#include "document/PortSettings.h"

#include "base/ParseInt.h"
#include "protocol/ProtocolTypes.h"
#include "serial/PortDiscovery.h"

namespace brenwick {

using namespace store_key;

namespace {

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
    m_ComBaudrateIndex = ParseInt(index.value_or("")).value_or(protocol::kUnsetBaudIndex);
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
