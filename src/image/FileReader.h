#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A read-only file with a buffer, read byte by byte the way stdio's getc does, but without its locking.
// Tracks the end-of-file indicator and line numbers for error reports.
class CFileReader {
  public:
    static constexpr int kEof = -1;

    CFileReader() = default;
    ~CFileReader();
    CFileReader(const CFileReader&) = delete;
    CFileReader& operator=(const CFileReader&) = delete;

    // Opens path for reading; returns 0 or the errno value.
    int Open(const std::string& path);
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

    // Size of the file, or -1 (with Error() set) when it cannot be taken.
    long long Size();
    // Reads up to length bytes; returns how many arrived.
    size_t ReadBlock(uint8_t* dest, size_t length);

  private:
    bool Fill();

    static constexpr size_t kBufferSize = size_t{64} * 1024;
    int m_Fd = -1;
    std::unique_ptr<uint8_t[]> m_Buffer = std::make_unique<uint8_t[]>(kBufferSize);
    size_t m_Pos = 0;
    size_t m_End = 0;
    bool m_Eof = false;
    int m_Errno = 0;
    int m_Line = 1;
};
