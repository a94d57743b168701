#include "base/win32/UniqueHandle.h"
#include "base/win32/Utf16.h"
#include "base/win32/Win32Errno.h"
#include "image/FileReader.h"

#include <algorithm>
#include <cerrno>
#include <windows.h>

namespace brenwick {

namespace {

constexpr DWORD kSliceMs = 100;   // how often a waiting read looks at the stop hook
constexpr DWORD kPipePollMs = 10; // an empty pipe cannot be waited on: it is looked at again this often

} // namespace

struct CFileReader::SystemFile {
    // How the open file is read.
    enum class Kind {
        Disk,    // a plain read, which never waits for long
        Pipe,    // read only what PeekNamedPipe says is there; gone writers read as the end
        Console, // read once the console has input; Ctrl+C cuts the read short
        Port,    // a serial port, given a read time-out of one slice
        Device,  // NUL and the like, or a pipe that cannot be peeked at: a plain read, which a stop
                 // request can cancel (see StopSignalsWin32.cpp)
    };
    UniqueHandle handle;
    Kind kind = Kind::Disk;
};

void CFileReader::SystemFileClose::operator()(SystemFile* file) const {
    std::default_delete<SystemFile>()(file);
}

namespace {

// Standard input is read through a copy of its handle, so that closing the file leaves the process's own
// standard input alone.
HANDLE OpenStandardInput() {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HANDLE copy = nullptr;
    const HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, input, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

} // namespace

int CFileReader::OpenFile(const std::string& path) {
    using Kind = SystemFile::Kind;
    auto file = std::make_unique<SystemFile>();
    // Backup semantics let a folder open, so that it is refused as a folder rather than as access denied.
    // Others may go on writing, renaming or deleting the file while it is read, as on POSIX.
    file->handle.Reset(path == "-"
                           ? OpenStandardInput()
                           : ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file->handle.Valid()) {
        return LastErrno();
    }
    const HANDLE handle = file->handle.Get();
    DWORD mode = 0;
    COMMTIMEOUTS timeouts{};
    switch (::GetFileType(handle)) {
    case FILE_TYPE_DISK: {
        // A handle that does not say what it is (Wine's standard input from a file) is read as a file.
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(handle, &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return EISDIR;
        }
        file->kind = Kind::Disk;
        break;
    }
    case FILE_TYPE_PIPE:
        file->kind = Kind::Pipe;
        m_Fifo = true;
        break;
    case FILE_TYPE_CHAR:
        if (::GetConsoleMode(handle, &mode)) {
            file->kind = Kind::Console;
        } else if (::GetCommTimeouts(handle, &timeouts)) {
            // Bytes already there come back at once; otherwise the read waits one slice for the first.
            timeouts.ReadIntervalTimeout = MAXDWORD;
            timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
            timeouts.ReadTotalTimeoutConstant = kSliceMs;
            if (!::SetCommTimeouts(handle, &timeouts)) {
                return LastErrno();
            }
            file->kind = Kind::Port;
        } else {
            file->kind = Kind::Device;
        }
        break;
    default:
        if (const DWORD error = ::GetLastError(); error != NO_ERROR) {
            return ErrnoFromWin32(error);
        }
        file->kind = Kind::Device;
        break;
    }
    m_Stream = file->kind != Kind::Disk;
    m_File.reset(file.release());
    return 0;
}

CFileReader::ReadOutcome CFileReader::ReadSome(size_t& got) {
    using Kind = SystemFile::Kind;
    const HANDLE handle = m_File->handle.Get();
    auto wanted = static_cast<DWORD>(kBufferSize);
    switch (m_File->kind) {
    case Kind::Pipe: {
        DWORD available = 0;
        if (!::PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_BROKEN_PIPE) {
                return ReadOutcome::End; // every writer has closed its end
            }
            m_File->kind = Kind::Device; // a pipe that cannot be peeked at (Wine's): plain reads from now on
            return ReadOutcome::Waiting;
        }
        if (available == 0) {
            ::Sleep(kPipePollMs);
            return ReadOutcome::Waiting;
        }
        wanted = std::min(wanted, available); // so that the read cannot wait
        break;
    }
    case Kind::Console:
        if (::WaitForSingleObject(handle, kSliceMs) != WAIT_OBJECT_0) {
            return ReadOutcome::Waiting;
        }
        break;
    case Kind::Disk:
    case Kind::Port:
    case Kind::Device:
        break;
    }
    DWORD n = 0;
    ::SetLastError(NO_ERROR);
    if (!::ReadFile(handle, m_Buffer.get(), wanted, &n, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
            return ReadOutcome::End;
        }
        if (error == ERROR_OPERATION_ABORTED) {
            return ReadOutcome::Waiting; // a stop request cut the read short: the stop hook decides
        }
        m_Errno = ErrnoFromWin32(error);
        return ReadOutcome::Failed;
    }
    if (n > 0) {
        got = n;
        return ReadOutcome::Data;
    }
    // A port's read time-out ran out with nothing; a console read that Ctrl+C ended also returns no bytes.
    if (m_File->kind == Kind::Port ||
        (m_File->kind == Kind::Console && ::GetLastError() == ERROR_OPERATION_ABORTED)) {
        return ReadOutcome::Waiting;
    }
    return ReadOutcome::End;
}

long long CFileReader::FileSize() {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(m_File->handle.Get(), &size)) {
        m_Errno = LastErrno();
        return -1;
    }
    return size.QuadPart;
}

} // namespace brenwick
