#include "base/win32/Utf16.h"
#include "serial/PortErrors.h"
#include "serial/win32/WindowsApi.h"

namespace brenwick::serial::serial_detail {

namespace {

// The system's own sentence for a code, without its line break.
std::string SystemText(int code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return {};
    }
    std::string narrow = Narrow(std::wstring(text, length));
    ::LocalFree(text);
    while (!narrow.empty() && (narrow.back() == '\n' || narrow.back() == '\r' || narrow.back() == ' ')) {
        narrow.pop_back();
    }
    return narrow;
}

} // namespace

PortProblem ClassifySystemError(int code, std::string& text) {
    switch (static_cast<DWORD>(code)) {
    case ERROR_ACCESS_DENIED: // what Windows answers when another program has the port open
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return PortProblem::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_UNIT:
        return PortProblem::NoSuchDevice;
    case ERROR_GEN_FAILURE:
    case ERROR_BAD_COMMAND:
    case ERROR_IO_DEVICE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_BROKEN_PIPE:
    case ERROR_NOT_READY: // Wine, once the line was hung up
        return PortProblem::DeviceGone;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION: // a file or a device without a line, asked for its line settings
        return PortProblem::NotASerialPort;
    case ERROR_INVALID_PARAMETER:
        return PortProblem::BadSetting;
    default:
        break;
    }
    text = SystemText(code);
    return PortProblem::None;
}

} // namespace brenwick::serial::serial_detail
