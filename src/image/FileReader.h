#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace brenwick {

// What may end a read early. A pipe or a device can keep a reader waiting, or never stop feeding it: reads
// wait in short slices, ask stopRequested between them, and give up after idleLimit without a byte.
struct ReadLimits {
    std::function<bool()> stopRequested; // true ends the read at once
    std::chrono::milliseconds idleLimit{std::chrono::seconds(20)};
    // Refuse pipes, FIFOs and devices at once: a reader that must never wait for a writer (a window) reads
    // files on a disk only.
    bool regularFilesOnly = false;
};

// A read-only file with a buffer, read byte by byte the way stdio's getc does, but without its locking.
// Tracks the end-of-file indicator and line numbers for error reports. Besides plain files it reads pipes,
// FIFOs and devices without ever blocking for good (a Windows console waits for its line, which Ctrl+C
// ends); "-" names standard input.
class CFileReader {
  public:
    static constexpr int kEof = -1;

    CFileReader() = default;
    ~CFileReader();
    CFileReader(const CFileReader&) = delete;
    CFileReader& operator=(const CFileReader&) = delete;

    // Opens path for reading; returns 0 or the errno value.
    int Open(const std::string& path, ReadLimits limits = {});
    void Close();

    // Next byte, or kEof at the end of the file (or on a read error, see Error()); sets the end-of-file
    // indicator.
    int Get() {
        if (m_Pos == m_End && !Fill()) {
            m_Eof = true;
            return kEof;
        }
        const uint8_t c = m_Buffer[m_Pos++];
        if (c == '\n') {
            ++m_Line;
        }
        return c;
    }
    // Puts back the byte just read by Get() (one byte at most; kEof is ignored).
    void Unget(int c) {
        if (c != kEof && m_Pos > 0) {
            --m_Pos;
            if (c == '\n') {
                --m_Line;
            }
        }
    }

    bool AtEof() const { return m_Eof; }
    int Error() const { return m_Errno; }
    int Line() const { return m_Line; }
    // The read ended because the stop hook asked for it, or because nothing arrived within the idle limit.
    bool Stopped() const { return m_Stopped; }
    bool TimedOut() const { return m_TimedOut; }
    uint64_t BytesRead() const { return m_BytesRead; }
    // A pipe, FIFO, socket or device: its size says nothing about what it will deliver.
    bool IsStream() const { return m_Stream; }
    bool IsFifo() const { return m_Fifo; }

    // Size of the file, or -1 (with Error() set) when it cannot be taken.
    long long Size();
    // Reads up to length bytes; returns how many arrived.
    size_t ReadBlock(uint8_t* dest, size_t length);

  private:
    // How one read of the system's part went.
    enum class ReadOutcome { Data, End, Waiting, Failed };
    // The open file as the system holds it: posix/FileReaderPosix.cpp, win32/FileReaderWin32.cpp.
    struct SystemFile;
    struct SystemFileClose {
        void operator()(SystemFile* file) const;
    };

    bool Fill();
    bool StopRequested();
    // The system's part. OpenFile opens path ("-": standard input) into m_File and sets m_Stream and m_Fifo;
    // returns 0 or the errno value. ReadSome reads into m_Buffer, waiting at most a short slice when nothing
    // is there yet, and sets got (Data) or m_Errno (Failed). FileSize is -1 with m_Errno set on failure.
    int OpenFile(const std::string& path);
    ReadOutcome ReadSome(size_t& got);
    long long FileSize();

    static constexpr size_t kBufferSize = size_t{64} * 1024;
    std::unique_ptr<SystemFile, SystemFileClose> m_File;
    ReadLimits m_Limits;
    bool m_Stream = false;
    bool m_Fifo = false;
    bool m_DataSeen = false;
    bool m_Stopped = false;
    bool m_TimedOut = false;
    uint64_t m_BytesRead = 0;
    std::unique_ptr<uint8_t[]> m_Buffer = std::make_unique<uint8_t[]>(kBufferSize);
    size_t m_Pos = 0;
    size_t m_End = 0;
    bool m_Eof = false;
    int m_Errno = 0;
    int m_Line = 1;
};

} // namespace brenwick
