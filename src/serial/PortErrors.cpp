#include "serial/PortErrors.h"

#include "serial/SerialTypes.h"

namespace brenwick::serial {

using serial_detail::PortProblem;

namespace {

class PortCategoryImpl : public std::error_category {
  public:
    const char* name() const noexcept override { return "serial port"; }
    std::string message(int value) const override {
        switch (static_cast<PortErrc>(value)) {
        case PortErrc::NotPossibleOnPlainPort:
            return "the operation is not possible on a port opened for plain I/O";
        case PortErrc::NotOpen:
            return "the port is not open";
        case PortErrc::Aborted:
            return "the transfer was cancelled";
        case PortErrc::AlreadyOpen:
            return "the port is already open";
        case PortErrc::TimedOut:
            return "the serial port did not respond in time";
        case PortErrc::InvalidArgument:
            return "invalid setting for the serial port";
        }
        return "serial port error " + std::to_string(value);
    }
};

const char* ProblemText(PortProblem problem) {
    switch (problem) {
    case PortProblem::PermissionDenied:
        return "permission denied: your user must be in the 'dialout' group to use serial ports "
               "(sudo usermod -aG dialout $USER, then log in again)";
    case PortProblem::InUse:
        return "the port is in use by another program";
    case PortProblem::NoSuchDevice:
        return "no such device: check the port name and that the device is plugged in";
    case PortProblem::DeviceGone:
        return "the device was removed or stopped responding";
    case PortProblem::NotASerialPort:
        return "this is not a serial port";
    case PortProblem::BadSetting:
        return "the serial port does not support this setting";
    case PortProblem::None:
        break;
    }
    return nullptr;
}

} // namespace

const std::error_category& PortCategory() {
    static const PortCategoryImpl category;
    return category;
}

std::string DescribePortError(std::error_code code) {
    if (!code) {
        return "no error";
    }
    if (code.category() == PortCategory()) {
        return code.message();
    }
    std::string systemText;
    if (code.category() != std::system_category()) {
        systemText = code.message(); // a library's error, such as a thread that could not start
    } else if (const char* text = ProblemText(serial_detail::ClassifySystemError(code.value(), systemText))) {
        return text;
    }
    if (!systemText.empty()) {
        return "serial port error: " + systemText;
    }
    return "serial port error " + std::to_string(code.value());
}

bool DeviceGone(std::error_code code) {
    std::string unused;
    return code && code.category() == std::system_category() &&
           serial_detail::ClassifySystemError(code.value(), unused) == PortProblem::DeviceGone;
}

} // namespace brenwick::serial
