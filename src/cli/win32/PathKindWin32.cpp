#include "base/win32/UniqueHandle.h"
#include "base/win32/Utf16.h"
#include "cli/PathKind.h"

#include <algorithm>
#include <cwctype>
#include <memory>
#include <string_view>
#include <windows.h>

namespace brenwick::cli {

namespace {

struct FindCloser {
    void operator()(HANDLE find) const { ::FindClose(find); }
};

// \\.\pipe\name, with either kind of slash.
bool NamesPipe(std::wstring path) {
    constexpr std::wstring_view kPrefix = L"\\\\.\\pipe\\";
    if (path.size() <= kPrefix.size()) {
        return false;
    }
    path.resize(kPrefix.size());
    std::transform(path.begin(), path.end(), path.begin(),
                   [](wchar_t c) { return c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c)); });
    return path == kPrefix;
}

// Opened only to be looked at: no access asked, so no one's sharing is in the way, and folders open too.
UniqueHandle OpenToLook(const std::wstring& path) {
    return UniqueHandle(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The identity of a file on a disk; false for anything else (a folder, a device, a pipe).
bool RegularFileInfo(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
    return ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

PathKind KindOfPath(const std::string& path) {
    const std::wstring wide = Widen(path);
    if (NamesPipe(wide)) {
        return PathKind::Fifo; // not opened: that would take one of the pipe's instances
    }
    if (wide.empty() || wide.find_first_of(L"*?") != std::wstring::npos) {
        return PathKind::Unknown; // the folder search below would take them as wildcards
    }
    // A device (NUL, COM1) is in no folder. It is not opened to be looked at, as opening a port can
    // already reset the board on it.
    WIN32_FIND_DATAW entry{};
    const HANDLE find = ::FindFirstFileW(wide.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES ? PathKind::Other
                                                                             : PathKind::Unknown;
    }
    const std::unique_ptr<void, FindCloser> search(find);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return PathKind::Other;
    }
    // A file, or a link to one: what it leads to decides.
    const UniqueHandle file = OpenToLook(wide);
    if (!file.Valid()) {
        return PathKind::Unknown;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    return RegularFileInfo(file.Get(), info) ? PathKind::Regular : PathKind::Other;
}

bool SameRegularFile(const std::string& input, const std::string& output) {
    if (KindOfPath(output) != PathKind::Regular || (input != "-" && KindOfPath(input) != PathKind::Regular)) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION in{};
    BY_HANDLE_FILE_INFORMATION out{};
    const UniqueHandle inputFile = input == "-" ? UniqueHandle() : OpenToLook(Widen(input));
    const HANDLE inputHandle = input == "-" ? ::GetStdHandle(STD_INPUT_HANDLE) : inputFile.Get();
    const UniqueHandle outputFile = OpenToLook(Widen(output));
    return inputHandle != nullptr && inputHandle != INVALID_HANDLE_VALUE && outputFile.Valid() &&
           RegularFileInfo(inputHandle, in) && RegularFileInfo(outputFile.Get(), out) &&
           in.dwVolumeSerialNumber == out.dwVolumeSerialNumber && in.nFileIndexHigh == out.nFileIndexHigh &&
           in.nFileIndexLow == out.nFileIndexLow;
}

} // namespace brenwick::cli
