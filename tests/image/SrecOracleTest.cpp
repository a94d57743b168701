// Cross-checks the HEX reader against srec_cat, which no one here wrote: random images converted to Intel HEX
// by srec_cat must load to exactly the bytes srec_cat converts back to a flat binary.
#include "image/FirmwareImage.h"
#include "support/RunCommand.h"

#include <gtest/gtest.h>
#include <random>

using namespace brenwick;

namespace {

struct OracleCase {
    uint32_t seed;
    bool cortex;
    int blockSize;    // data bytes per HEX record
    bool secondBlock; // a second block behind a gap
};
void PrintTo(const OracleCase& c, std::ostream* os) {
    *os << (c.cortex ? "cortex" : "sam7") << "_seed" << c.seed << "_records_of_" << c.blockSize
        << (c.secondBlock ? "_with_gap" : "");
}

class SrecOracle : public ::testing::TestWithParam<OracleCase> {};

TEST_P(SrecOracle, LoadsExactlyWhatSrecCatConvertsBack) {
    ASSERT_EQ(RunCommand("command -v srec_cat").status, 0)
        << "srec_cat (package srecord) is needed: run scripts/setup";
    const OracleCase& c = GetParam();
    std::mt19937 rng(c.seed); // 32-bit results, taken as uint32_t
    CTempDir dir;

    const auto firstSize = static_cast<uint32_t>(4 + rng() % 0x20000);
    std::vector<uint8_t> first(firstSize);
    for (auto& b : first) {
        b = static_cast<uint8_t>(rng());
    }
    first[3] = c.cortex ? 0x20 : 0xE5;
    std::string inputs = dir.Write("a.bin", first) + " -binary -offset 0x104000";
    uint32_t end = 0x4000 + firstSize; // image offset behind the highest byte
    if (c.secondBlock) {
        const auto start = static_cast<uint32_t>(0x104000 + firstSize + 1 + rng() % 0x1000);
        const auto size = static_cast<uint32_t>(1 + rng() % (0x140000 - start - 1));
        std::vector<uint8_t> second(std::min<uint32_t>(size, 0x8000));
        for (auto& b : second) {
            b = static_cast<uint8_t>(rng());
        }
        inputs += " " + dir.Write("b.bin", second) + " -binary -offset " + std::to_string(start);
        end = start - 0x100000 + static_cast<uint32_t>(second.size());
    }

    const auto hex = dir.Path("image.hex");
    const auto back = dir.Path("back.bin");
    for (const std::string& command :
         {"srec_cat " + inputs + " -o " + hex + " -intel -output_block_size=" + std::to_string(c.blockSize),
          "srec_cat " + hex + " -intel -fill 0xFF 0x100000 0x140000 -offset -0x100000 -o " + back +
              " -binary"}) {
        const CommandResult r = RunCommand(command);
        ASSERT_EQ(r.status, 0) << command << ": " << r.err;
    }
    const std::vector<uint8_t> expected = ReadFileBytes(back);
    ASSERT_EQ(expected.size(), 0x40000u);

    CFirmwareImage image;
    const LoadResult r = image.Load(hex);
    ASSERT_TRUE(r.Ok()) << r.Describe();
    EXPECT_TRUE(image.m_Image == expected) << "the image differs from srec_cat's conversion";
    EXPECT_EQ(image.m_FlashBase, c.cortex ? 0u : 0x100000u);
    EXPECT_EQ(image.m_ImageLen, static_cast<int32_t>((end + 3) & ~3u));
}

INSTANTIATE_TEST_SUITE_P(Random, SrecOracle,
                         ::testing::Values(OracleCase{1, false, 16, false}, OracleCase{2, true, 16, false},
                                           OracleCase{3, false, 32, true}, OracleCase{4, true, 255, true},
                                           OracleCase{5, false, 1, false}, OracleCase{6, true, 64, true}));

} // namespace
