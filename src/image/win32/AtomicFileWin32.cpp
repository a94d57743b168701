#include "base/win32/UniqueHandle.h"
#include "base/win32/Utf16.h"
#include "base/win32/Win32Errno.h"
#include "image/AtomicFile.h"
#include "image/TempFileName.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <windows.h>

namespace brenwick {

namespace {

constexpr std::chrono::seconds kNoProgressLimit{30}; // a pipe reader or a port that takes nothing
constexpr DWORD kWaitSliceMs = 200;
constexpr size_t kMaxChunk = size_t{1} << 20; // one WriteFile's length is a DWORD

// A new file next to the target; removed again unless it was moved into place.
class CTempFile {
  public:
    explicit CTempFile(const std::string& target) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::wstring name = Widen(TempFileNameIn(FolderOf(target)));
            m_Handle.Reset(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
            if (m_Handle.Valid()) {
                m_Path = name;
                return;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                m_Errno = ErrnoFromWin32(error);
                return;
            }
        }
        m_Errno = EEXIST;
    }
    ~CTempFile() {
        m_Handle.Reset();
        if (!m_Path.empty() && !m_Kept) {
            ::DeleteFileW(m_Path.c_str());
        }
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    HANDLE Handle() const { return m_Handle.Get(); }
    bool Valid() const { return m_Handle.Valid(); }
    int OpenError() const { return m_Errno; }
    const std::wstring& Path() const { return m_Path; }
    // Closes now and reports the close's own error (0 or an errno value).
    int CloseChecked() { return ::CloseHandle(m_Handle.Release()) ? 0 : LastErrno(); }
    void Keep() { m_Kept = true; }

  private:
    UniqueHandle m_Handle;
    std::wstring m_Path;
    int m_Errno = 0;
    bool m_Kept = false;
};

// Writes every byte. A pipe in no-wait mode or a port with a write time-out may take nothing for a while:
// such a write is tried again (after a pause, when pauseWhenIdle) until no byte has gone for too long.
int WriteAll(HANDLE file, std::span<const uint8_t> data, bool pauseWhenIdle) {
    size_t done = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (done < data.size()) {
        const auto chunk = static_cast<DWORD>(std::min(data.size() - done, kMaxChunk));
        DWORD written = 0;
        if (!::WriteFile(file, data.data() + done, chunk, &written, nullptr)) {
            return LastErrno();
        }
        if (written > 0) {
            done += written;
            lastProgress = std::chrono::steady_clock::now();
            continue;
        }
        if (std::chrono::steady_clock::now() - lastProgress > kNoProgressLimit) {
            return ETIMEDOUT;
        }
        if (pauseWhenIdle) {
            ::Sleep(kWaitSliceMs);
        }
    }
    return 0;
}

// A device or pipe is written into through the handle that found it: nothing is created, cut short or
// replaced. A pipe is switched to no-wait mode and a port gets a write time-out, so that a reader that
// takes nothing cannot hold the write for ever.
int WriteInPlace(UniqueHandle device, std::span<const uint8_t> data) {
    bool pauseWhenIdle = false;
    if (::GetFileType(device.Get()) == FILE_TYPE_PIPE) {
        DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
        pauseWhenIdle = ::SetNamedPipeHandleState(device.Get(), &mode, nullptr, nullptr) != FALSE;
    } else if (COMMTIMEOUTS timeouts{}; ::GetCommTimeouts(device.Get(), &timeouts)) {
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = kWaitSliceMs;
        ::SetCommTimeouts(device.Get(), &timeouts);
    }
    if (const int err = WriteAll(device.Get(), data, pauseWhenIdle); err != 0) {
        return err;
    }
    return ::CloseHandle(device.Release()) ? 0 : LastErrno();
}

// The name a link finally leads to, so that the file is replaced and the link stays a link.
int FinalPath(HANDLE file, std::string& target) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return LastErrno();
        }
        if (length < path.size()) {
            path.resize(length);
            target = Narrow(path);
            return 0;
        }
        path.resize(length); // the length needed, its terminating null included
    }
}

// The move was refused: the target is open in a program that does not let it be deleted (an editor, a
// viewer), or it cannot be replaced at all (read-only, no permission). Asking to delete it tells which.
int WhyNotReplaced(const std::wstring& target) {
    const UniqueHandle probe(::CreateFileW(target.c_str(), DELETE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !probe.Valid() && ::GetLastError() == ERROR_SHARING_VIOLATION ? ETXTBSY : EACCES;
}

int ReplaceByMove(const std::string& target, std::span<const uint8_t> data) {
    CTempFile temp(target);
    if (!temp.Valid()) {
        return temp.OpenError();
    }
    if (const int err = WriteAll(temp.Handle(), data, false); err != 0) {
        return err;
    }
    if (!::FlushFileBuffers(temp.Handle())) {
        return LastErrno();
    }
    if (const int err = temp.CloseChecked(); err != 0) {
        return err;
    }
    // No MOVEFILE_WRITE_THROUGH: it only waits for a move done as a copy, and this is a rename in one folder.
    const std::wstring wideTarget = Widen(target);
    if (!::MoveFileExW(temp.Path().c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? WhyNotReplaced(wideTarget)
                                                                                : ErrnoFromWin32(error);
    }
    temp.Keep();
    return 0;
}

} // namespace

std::string WriteErrorText(int errnoValue) {
    return errnoValue == ETXTBSY ? "the file is in use by another program" : std::strerror(errnoValue);
}

int WriteFileAtomically(const std::string& path, std::span<const uint8_t> data) {
    const std::wstring wide = Widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return EISDIR;
    }
    // Opening what exists for writing changes nothing in it yet, and shows whether it is a file on a disk.
    UniqueHandle existing(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing.Valid()) {
        switch (const DWORD error = ::GetLastError()) {
        case ERROR_FILE_NOT_FOUND: // a new file; a missing folder shows when the temporary file is made
        case ERROR_PATH_NOT_FOUND:
        case ERROR_ACCESS_DENIED: // read-only or in use: the move decides, and says why it cannot
        case ERROR_SHARING_VIOLATION:
            return ReplaceByMove(path, data);
        default:
            return ErrnoFromWin32(error);
        }
    }
    if (::GetFileType(existing.Get()) != FILE_TYPE_DISK) {
        return WriteInPlace(std::move(existing), data);
    }
    std::string target = path;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (const int err = FinalPath(existing.Get(), target); err != 0) {
            return err;
        }
    }
    existing.Reset();
    return ReplaceByMove(target, data);
}

} // namespace brenwick
