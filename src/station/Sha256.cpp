#include "station/Sha256.h"

#include "station/StationSystem.h"

#include <bit>
#include <cstring>

namespace brenwick::station {

namespace {

constexpr std::array<uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<uint32_t, 8> kInitialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

uint32_t BigEndianWord(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

} // namespace

CSha256::CSha256() : m_State(kInitialState) {}

void CSha256::Compress(const uint8_t* block) {
    std::array<uint32_t, 64> w{};
    for (size_t t = 0; t < 16; ++t) {
        w[t] = BigEndianWord(block + 4 * t);
    }
    for (size_t t = 16; t < 64; ++t) {
        const uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = m_State;
    for (size_t t = 0; t < 64; ++t) {
        const uint32_t s1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
        const uint32_t choice = (e & f) ^ (~e & g);
        const uint32_t t1 = h + s1 + choice + kRoundConstants[t] + w[t];
        const uint32_t s0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
        const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const std::array<uint32_t, 8> worked = {a, b, c, d, e, f, g, h};
    for (size_t k = 0; k < 8; ++k) {
        m_State[k] += worked[k];
    }
}

void CSha256::Update(std::span<const uint8_t> bytes) {
    m_Length += bytes.size();
    while (!bytes.empty()) {
        if (m_Used == 0 && bytes.size() >= m_Block.size()) {
            Compress(bytes.data()); // whole blocks straight from the caller's bytes
            bytes = bytes.subspan(m_Block.size());
            continue;
        }
        const size_t take = std::min(bytes.size(), m_Block.size() - m_Used);
        std::memcpy(m_Block.data() + m_Used, bytes.data(), take);
        m_Used += take;
        bytes = bytes.subspan(take);
        if (m_Used == m_Block.size()) {
            Compress(m_Block.data());
            m_Used = 0;
        }
    }
}

std::string CSha256::HexDigest() const {
    CSha256 last = *this; // the padding goes into a copy, so that this one can go on
    const uint64_t bits = m_Length * 8;
    std::array<uint8_t, 72> padding{}; // 0x80, zeros up to 56 mod 64, then the length in bits
    padding[0] = 0x80;
    const size_t zeros = (m_Used < 56 ? 56 - m_Used : 120 - m_Used) - 1;
    for (size_t k = 0; k < 8; ++k) {
        padding[1 + zeros + k] = static_cast<uint8_t>(bits >> (56 - 8 * k));
    }
    last.Update(std::span(padding.data(), 1 + zeros + 8));
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const uint32_t word : last.m_State) {
        for (int shift = 28; shift >= 0; shift -= 4) {
            hex += kDigits[(word >> shift) & 0xFu];
        }
    }
    return hex;
}

std::string Sha256Hex(std::span<const uint8_t> bytes) {
    CSha256 sha;
    sha.Update(bytes);
    return sha.HexDigest();
}

bool Sha256OfFile(const std::string& path, std::string* hex, std::string* error) {
    CSha256 sha;
    const bool read = system::ReadRegularFile(
        path, false,
        [&sha](std::string_view chunk) {
            sha.Update(std::span(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
        },
        error);
    if (read && hex != nullptr) {
        *hex = sha.HexDigest();
    }
    return read;
}

} // namespace brenwick::station
