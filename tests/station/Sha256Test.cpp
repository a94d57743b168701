// The digest against published vectors and, on Linux, against sha256sum (an oracle no one here wrote) over
// sizes around the block and padding edges, fed whole, in pieces and from a file.
#include "station/Sha256.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include "support/RunCommand.h"

#include <sys/stat.h>
#endif

using namespace brenwick::station;

namespace {

std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, PublishedVectors) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [text, digest] : vectors) {
        EXPECT_EQ(Sha256Hex(Bytes(text)), digest) << text.size() << " bytes";
    }
}

TEST(Sha256, FilesThatAreNotRegularAreRefused) {
    const CTempDir dir;
    std::string hex = "untouched", error;
    EXPECT_FALSE(Sha256OfFile(dir.Path("missing.hex"), &hex, &error));
    EXPECT_FALSE(Sha256OfFile(dir.Root().string(), &hex, &error));
#ifndef _WIN32
    // A FIFO that no program writes: refused at once rather than waited on.
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(Sha256OfFile(dir.Path("fifo"), &hex, &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
#endif
    EXPECT_EQ(hex, "untouched");
}

#ifndef _WIN32
TEST(Sha256, AgreesWithSha256sumWholeInPiecesAndFromAFile) {
    const CTempDir dir;
    uint32_t seed = 12345;
    for (const size_t size : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u, (1u << 20) + 3}) {
        std::vector<uint8_t> bytes(size);
        for (auto& b : bytes) {
            seed = seed * 1103515245 + 12345;
            b = static_cast<uint8_t>(seed >> 16);
        }
        const std::string file = dir.Write("data" + std::to_string(size), bytes);
        const CommandResult sum = RunCommand("sha256sum " + ShellQuote(file));
        ASSERT_EQ(sum.status, 0) << sum.err;
        const std::string expected = sum.out.substr(0, 64);

        EXPECT_EQ(Sha256Hex(bytes), expected) << size;
        for (const size_t piece : {1u, 7u, 64u, 100u}) {
            CSha256 sha;
            for (size_t at = 0; at < size; at += piece) {
                sha.Update(std::span(bytes).subspan(at, std::min(piece, size - at)));
            }
            EXPECT_EQ(sha.HexDigest(), expected) << size << " in pieces of " << piece;
        }
        std::string hex, error;
        EXPECT_TRUE(Sha256OfFile(file, &hex, &error)) << error;
        EXPECT_EQ(hex, expected) << size;
    }
}
#endif

} // namespace
