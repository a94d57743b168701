#include "panel/PortChoice.h"

#include "protocol/ProtocolTypes.h"

namespace brenwick::panel {

std::string StoredName(const serial::SerialPortInfo& port) {
    return port.byId.empty() ? port.path : port.byId;
}

std::string DescribePort(const serial::SerialPortInfo& port) {
    std::string text;
    const auto add = [&text](const std::string& part) {
        if (!text.empty()) {
            text += " - ";
        }
        text += part;
    };
    if (!port.product.empty()) {
        add(port.product);
    }
    if (!port.usbId.empty()) {
        add("USB " + port.usbId);
    }
    add(port.path);
    return text;
}

int LineOfPort(const std::vector<serial::SerialPortInfo>& ports, const std::string& current) {
    for (size_t line = 0; line < ports.size(); ++line) {
        if (StoredName(ports[line]) == current || ports[line].path == current) {
            return static_cast<int>(line);
        }
    }
    return -1;
}

namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

std::string ChosenPort(const std::string& typed, const std::string& chosenLine, const std::string& current) {
    const std::string name = Trimmed(typed);
    if (!name.empty() && name != chosenLine) {
        return name;
    }
    return chosenLine.empty() ? current : chosenLine;
}

std::vector<std::string> BaudLines() {
    std::vector<std::string> lines;
    for (int k = 0; k <= protocol::kMaxBaudIndex; ++k) {
        lines.push_back(std::to_string(protocol::BaudRateForIndex(k)));
    }
    return lines;
}

int BaudLineOf(int index) {
    return index >= 0 && index <= protocol::kMaxBaudIndex ? index : -1;
}

} // namespace brenwick::panel
