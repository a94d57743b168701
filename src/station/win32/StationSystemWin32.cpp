#include "base/HomeFolder.h"
#include "base/win32/UniqueHandle.h"
#include "base/win32/Utf16.h"
#include "base/win32/Win32Errno.h"
#include "station/StationSystem.h"

#include <memory>
#include <shlobj.h>
#include <vector>
#include <windows.h>

namespace brenwick::station::system {

namespace {

// Windows' byte-range locks are enforced on reads and writes: the lock is taken on one byte far beyond any
// log's end, which only the log's own readers and writers ask for.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

struct TaskMemFree {
    void operator()(wchar_t* text) const { ::CoTaskMemFree(text); }
};

bool Failed(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

// Holds a LockFileEx() lock and lets it go when it goes.
class CFileLock {
  public:
    CFileLock() = default;
    ~CFileLock() {
        if (m_Handle != nullptr) {
            OVERLAPPED at{};
            at.OffsetHigh = kLockOffsetHigh;
            ::UnlockFileEx(m_Handle, 0, 1, 0, &at);
        }
    }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    bool Take(HANDLE handle, bool exclusive, const std::string& path, std::string* error) {
        DWORD failure = 0;
        const LockTry result = WaitForLock([&] {
            OVERLAPPED at{};
            at.OffsetHigh = kLockOffsetHigh;
            const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
            if (::LockFileEx(handle, flags, 0, 1, 0, &at)) {
                return LockTry::Locked;
            }
            failure = ::GetLastError();
            return failure == ERROR_LOCK_VIOLATION || failure == ERROR_IO_PENDING ? LockTry::Busy
                                                                                  : LockTry::Failed;
        });
        if (result == LockTry::Locked) {
            m_Handle = handle;
            return true;
        }
        return Failed(error, result == LockTry::Busy
                                 ? path + ": locked by another program for more than " +
                                       std::to_string(kLockWait.count()) + " s"
                                 : "cannot lock " + ErrorText(path, ErrnoFromWin32(failure)));
    }

  private:
    HANDLE m_Handle = nullptr;
};

// Opens path (a link is followed) and refuses anything but a file on a disk: a pipe, a console, a port.
UniqueHandle OpenRegular(const std::string& path, DWORD access, DWORD disposition, std::string* error) {
    UniqueHandle handle(::CreateFileW(Widen(path).c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid()) {
        const DWORD failure = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
        const bool folder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        Failed(error, folder ? path + ": is a folder" : ErrorText(path, ErrnoFromWin32(failure)));
        return {};
    }
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK) {
        Failed(error, path + ": not a regular file");
        return {};
    }
    return handle;
}

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

} // namespace

std::string StateFolder() {
    wchar_t* found = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &found);
    const std::unique_ptr<wchar_t, TaskMemFree> owned(found); // freed on failure too, as the call asks
    if (SUCCEEDED(result) && found != nullptr && *found != L'\0') {
        return Narrow(found) + "\\Brenwick";
    }
    return HomeFolder() + "\\AppData\\Local\\Brenwick";
}

std::string HostName() {
    DWORD size = 0;
    ::GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);
    std::wstring name(size, L'\0');
    if (size == 0 || !::GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size)) {
        return "";
    }
    name.resize(size);
    return Narrow(name);
}

std::string UserName() {
    wchar_t name[257] = {}; // UNLEN + 1
    DWORD size = 257;
    return ::GetUserNameW(name, &size) ? Narrow(name) : std::string();
}

bool ReadRegularFile(const std::string& path, bool shared, const std::function<void(std::string_view)>& chunk,
                     std::string* error) {
    const UniqueHandle handle = OpenRegular(path, GENERIC_READ, OPEN_EXISTING, error);
    if (!handle.Valid()) {
        return false;
    }
    CFileLock lock;
    if (shared && !lock.Take(handle.Get(), false, path, error)) {
        return false;
    }
    std::vector<char> buffer(size_t{64} * 1024);
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(handle.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            return Failed(error, "cannot read " + ErrorText(path, LastErrno()));
        }
        if (n == 0) {
            return true;
        }
        chunk(std::string_view(buffer.data(), n));
    }
}

bool AppendLine(const std::string& path, std::string_view line, std::string* error) {
    // Read access too: the last byte tells whether an earlier write was cut short.
    const UniqueHandle handle = OpenRegular(path, FILE_APPEND_DATA | FILE_READ_DATA, OPEN_ALWAYS, error);
    if (!handle.Valid()) {
        return false;
    }
    CFileLock lock;
    if (!lock.Take(handle.Get(), true, path, error)) {
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle.Get(), &size)) {
        return Failed(error, ErrorText(path, LastErrno()));
    }
    char last = '\n';
    if (size.QuadPart > 0) {
        OVERLAPPED at = At(static_cast<uint64_t>(size.QuadPart - 1));
        DWORD got = 0;
        if (!::ReadFile(handle.Get(), &last, 1, &got, &at) || got != 1) {
            return Failed(error, "cannot read " + ErrorText(path, LastErrno()));
        }
    }
    std::string text;
    text.reserve(line.size() + 1);
    text.append(last != '\n' ? "\n" : "").append(line);
    size_t done = 0;
    while (done < text.size()) {
        OVERLAPPED end = At(~uint64_t{0}); // all ones: at the end of the file, wherever it is by then
        DWORD written = 0;
        if (!::WriteFile(handle.Get(), text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                         &end) ||
            written == 0) {
            return Failed(error, "cannot write " + ErrorText(path, LastErrno()));
        }
        done += written;
    }
    if (!::FlushFileBuffers(handle.Get())) {
        return Failed(error, "cannot write " + ErrorText(path, LastErrno()));
    }
    return true;
}

} // namespace brenwick::station::system
