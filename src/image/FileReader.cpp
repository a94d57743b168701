#include "image/FileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace brenwick {

CFileReader::~CFileReader() {
    Close();
}

int CFileReader::Open(const std::string& path, ReadLimits limits) {
    Close();
    m_Stream = m_Fifo = false;
    if (const int err = OpenFile(path); err != 0) {
        return err;
    }
    m_Limits = std::move(limits);
    m_DataSeen = m_Stopped = m_TimedOut = false;
    m_BytesRead = 0;
    m_Pos = m_End = 0;
    m_Eof = false;
    m_Errno = 0;
    m_Line = 1;
    return 0;
}

void CFileReader::Close() {
    m_File.reset();
}

bool CFileReader::StopRequested() {
    if (m_Limits.stopRequested && m_Limits.stopRequested()) {
        m_Stopped = true;
    }
    return m_Stopped;
}

bool CFileReader::Fill() {
    if (!m_File || m_Eof || m_Stopped || m_TimedOut) {
        return false;
    }
    const auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
        if (StopRequested()) {
            return false;
        }
        size_t got = 0;
        switch (ReadSome(got)) {
        case ReadOutcome::Data:
            m_Pos = 0;
            m_End = got;
            m_BytesRead += got;
            m_DataSeen = true;
            return true;
        case ReadOutcome::End:
        case ReadOutcome::Failed:
            return false;
        case ReadOutcome::Waiting:
            break;
        }
        if (std::chrono::steady_clock::now() - idleSince > m_Limits.idleLimit) {
            m_TimedOut = true;
            return false;
        }
    }
}

long long CFileReader::Size() {
    if (!m_File) {
        m_Errno = EBADF;
        return -1;
    }
    return FileSize();
}

size_t CFileReader::ReadBlock(uint8_t* dest, size_t length) {
    size_t done = 0;
    while (done < length) {
        if (m_Pos == m_End && !Fill()) {
            m_Eof = true;
            break;
        }
        const size_t n = std::min(length - done, m_End - m_Pos);
        std::memcpy(dest + done, m_Buffer.get() + m_Pos, n);
        m_Pos += n;
        done += n;
    }
    return done;
}

} // namespace brenwick
