#include "serial/PortDiscovery.h"

#include <algorithm>
#include <cctype>

namespace brenwick::serial::serial_detail {

namespace {

// Natural order: runs of digits compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])) != 0) {
                ++endA;
            }
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])) != 0) {
                ++endB;
            }
            const std::string numA = a.substr(i, endA - i);
            const std::string numB = b.substr(j, endB - j);
            const size_t sigA = numA.find_first_not_of('0');
            const size_t sigB = numB.find_first_not_of('0');
            const std::string valA = sigA == std::string::npos ? "" : numA.substr(sigA);
            const std::string valB = sigB == std::string::npos ? "" : numB.substr(sigB);
            if (valA.size() != valB.size()) {
                return valA.size() < valB.size();
            }
            if (valA != valB) {
                return valA < valB;
            }
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

void SortPorts(std::vector<SerialPortInfo>& ports) {
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        if (a.usb != b.usb) {
            return a.usb;
        }
        return NaturalLess(a.path, b.path);
    });
}

} // namespace brenwick::serial::serial_detail

namespace brenwick::serial {

std::string_view WithoutDevicePrefix(std::string_view name) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    return name.starts_with(kDevicePrefix) ? name.substr(kDevicePrefix.size()) : name;
}

bool SamePortName(std::string_view a, std::string_view b, PortNameRules rules) {
    if (rules == PortNameRules::Posix) {
        return a == b;
    }
    a = WithoutDevicePrefix(a);
    b = WithoutDevicePrefix(b);
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace brenwick::serial
