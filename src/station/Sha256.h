#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace brenwick::station {

// SHA-256 (FIPS 180-4) of a byte stream fed in pieces of any size: the flash log names the firmware that went
// into a board by the digest of the file's bytes, which sha256sum shows the same way.
class CSha256 {
  public:
    CSha256();

    void Update(std::span<const uint8_t> bytes);
    // The digest of everything fed so far, as 64 lower-case hex digits; more bytes may follow.
    std::string HexDigest() const;

  private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> m_State;
    std::array<uint8_t, 64> m_Block{};
    size_t m_Used = 0;     // bytes waiting in m_Block
    uint64_t m_Length = 0; // bytes fed in all
};

std::string Sha256Hex(std::span<const uint8_t> bytes);

// The digest of a regular file's bytes, read in chunks. Anything else (a FIFO, a device, a folder) is refused
// at once, without waiting for a writer; false with `error` saying why.
bool Sha256OfFile(const std::string& path, std::string* hex, std::string* error);

} // namespace brenwick::station
