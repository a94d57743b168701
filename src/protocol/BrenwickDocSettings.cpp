// The two port settings kept in the per-user store: the port's device path and the baud index.
#include "base/ParseInt.h"
#include "protocol/BrenwickDoc.h"
#include "serial/PortDiscovery.h"

namespace brenwick {

namespace {

const std::string kIntsSection = "Settings\\Ints";
const std::string kStringsSection = "Settings\\Strings";
const std::string kPortName = "m_ActivePortName";
const std::string kBaudIndex = "m_ComBaudrateIndex";

// With no stored port, the first serial device present; else the first on-board UART.
std::string DefaultPortName() {
    const auto ports = serial::ListSerialPorts();
    return ports.empty() ? serial::FallbackPortName() : ports.front().path;
}

} // namespace

int CBrenwickDoc::LoadSettings(ISettingsStore& store) {
    const auto name = store.GetString(kStringsSection, kPortName);
    const auto index = store.GetString(kIntsSection, kBaudIndex);
    std::lock_guard lock(m_SettingsLock);
    m_ActivePortName = name && !name->empty() ? *name : DefaultPortName();
    m_ComBaudrateIndex = ParseInt(index.value_or("")).value_or(protocol::kUnsetBaudIndex);
    return 1;
}

int CBrenwickDoc::SaveSettings(ISettingsStore& store) {
    std::string name;
    int index = 0;
    {
        std::lock_guard lock(m_SettingsLock);
        name = m_ActivePortName;
        index = m_ComBaudrateIndex;
    }
    // Each value is written even when the other fails, so that one bad write loses no more than itself.
    const bool nameWritten = store.PutString(kStringsSection, kPortName, name);
    const bool indexWritten = store.PutString(kIntsSection, kBaudIndex, std::to_string(index));
    return nameWritten && indexWritten ? 1 : 0;
}

void CBrenwickDoc::SetPortSettings(const std::string& portName, int baudIndex) {
    std::lock_guard lock(m_SettingsLock);
    m_ActivePortName = portName;
    m_ComBaudrateIndex = baudIndex;
}

std::string CBrenwickDoc::ActivePortName() const {
    std::lock_guard lock(m_SettingsLock);
    return m_ActivePortName;
}

int CBrenwickDoc::ComBaudrateIndex() const {
    std::lock_guard lock(m_SettingsLock);
    return m_ComBaudrateIndex;
}

} // namespace brenwick
