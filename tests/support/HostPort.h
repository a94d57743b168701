#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The host's end of the simulated device's port, as a test drives it: the slave path opened raw, bytes
// written as they are, and replies read back with time-outs.
class CHostPort {
  public:
    explicit CHostPort(const std::string& path);
    ~CHostPort() { Close(); }
    CHostPort(const CHostPort&) = delete;
    CHostPort& operator=(const CHostPort&) = delete;

    bool IsOpen() const { return m_Fd >= 0; }
    int Fd() const { return m_Fd; }
    void Close();

    void Write(const std::vector<uint8_t>& bytes);
    // Reads exactly `count` bytes, or fewer when timeoutMs passes without them (or the line hangs up).
    std::vector<uint8_t> Read(size_t count, int timeoutMs);
    // Reads one whole message by its header (a length field of 0 counts as 8194 bytes).
    std::vector<uint8_t> ReadMessage(int timeoutMs);
    // Writes a request and reads the one message that answers it.
    std::vector<uint8_t> Exchange(const std::vector<uint8_t>& request, int timeoutMs = 2000);
    // True when nothing at all arrives within quietMs.
    bool StaysQuiet(int quietMs) { return Read(1, quietMs).empty(); }
    // True when the line reports a hang-up (EOF, EIO or POLLHUP) within timeoutMs.
    bool SeesHangUp(int timeoutMs);

    std::chrono::steady_clock::time_point LastByteTime() const { return m_LastByte; }

  private:
    int m_Fd = -1;
    bool m_HungUp = false;
    std::chrono::steady_clock::time_point m_LastByte{};
};
