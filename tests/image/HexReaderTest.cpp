#include "image/HexReader.h"

#include "image/FirmwareImage.h"
#include "support/CaseName.h"
#include "support/HexText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace brenwick;
using namespace hex_text;
using enum brenwick::LoadError;

namespace {

struct HexCase {
    const char* name;
    std::string text;
    brenwick::LoadError error;
    int32_t expected; // the image length on success, else the failing record's line (0: not checked)
};
void PrintTo(const HexCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

std::vector<HexCase> HexCases() {
    const std::string start = Sam7Start(); // 2 lines, image length 0x4004
    return {
        {"minimal image", start + End(), None, 0x4004},
        {"lower case, CRLF", ":020000040010ea\r\n:0440000018f09fe530\r\n:00000001ff\r\n", None, 0x4004},
        {"spaces in a record", ": 02 0000 04 0010 EA\n: 04 4000 00 18F09FE5 30\n:00000001FF\n", None, 0x4004},
        {"text between records is skipped", "garbage\n" + start + "; comment\n" + End(), None, 0x4004},
        {"no end record", start, NoEndRecord, 0},
        {"empty file", "", NoEndRecord, 0},
        {"records after the end are never read", start + End() + Data(0x5000, {1, 2}, 7), None, 0x4004},
        {"any record of 0 bytes ends the file", start + ":00000005FB\n" + Data(0x5000, {1}), None, 0x4004},
        {"unreadable byte count ends the file", start + ":zz\n" + Data(0x5000, {1}), None, 0x4004},
        {"16-bit addresses only", Data(0x4000, {0x18, 0xF0, 0x9F, 0xE5}) + End(), AddressOutsideWindow, 1},
        {"type-2 records are ignored", Record(2, 0, {0x10, 0x00}) + start + End(), None, 0x4004},
        {"type-4 record with a wrong checksum is accepted",
         Upper(0x0010, 5) + Data(0x4000, {0x18, 0xF0, 0x9F, 0xE5}) + End(), None, 0x4004},
        {"data record with a wrong checksum", start + Data(0x4010, {1, 2, 3}, 1) + End(), BadChecksum, 3},
        {"0x13FFFF loads", start + Upper(0x0013) + Data(0xFFFF, {0xAA}) + End(), None, 0x40000},
        {"0x140000 fails", start + Upper(0x0014) + Data(0x0000, {0xAA}) + End(), AddressOutsideWindow, 4},
        {"record past the window", start + Upper(0x0013) + Data(0xFFFE, {1, 2, 3}) + End(),
         AddressOutsideWindow, 4},
        {"highest byte at 0x8000 rounds to 0x8004", start + Data(0x8000, {1}) + End(), None, 0x8004},
        {"highest byte at 0x7FFF gives 0x8000", start + Data(0x7FFF, {1}) + End(), None, 0x8000},
        // Contiguous bytes: each one, not only every other one, moves the end.
        {"record ending on a word's first byte", start + Data(0x4005, {1, 2, 3, 4}) + End(), None, 0x400C},
        {"data below the boot area end is read too", start + Data(0x0000, {9}) + End(), None, 0x4004},
        {"truncated data", start + ":10401000AABB\n", BadRecord, 3},
        {"huge byte count with little data", start + ":FF40100001020304\n" + End(), BadRecord, 3},
        {"missing offset", start + ":10\n", BadRecord, 3},
        {"missing type", start + ":104010\n", BadRecord, 3},
        {"missing extended address", ":02000004\n", BadRecord, 1},
        {"missing checksum at the end of the file", start + ":0140100001", BadRecord, 3},
        // ':' followed by an unreadable count ends the file cleanly, but no family marker was read.
        {"binary junk", std::string("\x00\xff:\x01\x02\x03", 6), UnknownFamily, 0},
        {"no family marker", Upper(0x0010) + Data(0x4000, {1, 2, 3, 4}) + End(), UnknownFamily, 0},
        {"text without records is refused after a bounded amount",
         std::string(kMaxBytesWithoutRecord + 16, ' ') + start + End(), NoHexRecords, 0},
    };
}

class HexRecordCases : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexRecordCases, LoadsOrRefuses) {
    const HexCase& c = GetParam();
    CTempDir dir;
    CFirmwareImage image;
    const LoadResult r = image.Load(dir.Write("case.hex", c.text));
    EXPECT_EQ(r.error, c.error) << r.Describe();
    EXPECT_EQ(image.m_ImageLen, c.error == None ? c.expected : 0);
    if (c.error != None && c.expected != 0) {
        EXPECT_EQ(r.line, c.expected) << r.Describe();
    }
}

INSTANTIATE_TEST_SUITE_P(Hex, HexRecordCases, ::testing::ValuesIn(HexCases()), CaseName<HexCase>);

TEST(HexReader, StoresBytesAtTheirOffsetsAndFillsTheRestAndKeepsThemOnFailure) {
    CTempDir dir;
    CFirmwareImage image;
    std::fill(image.m_Image.begin(), image.m_Image.end(), 0x00); // a load must refill with 0xFF
    const auto path = dir.Write("a.hex", Sam7Start() + Data(0x4100, {0x11, 0x22}) + Upper(0x0011) +
                                             Data(0x0002, {0x33}) + End());
    ASSERT_TRUE(image.Load(path).Ok());
    const std::pair<size_t, uint8_t> bytes[] = {{0x4003, 0xE5},  {0x4100, 0x11}, {0x4101, 0x22},
                                                {0x10002, 0x33}, {0x4102, 0xFF}, {0x0000, 0xFF}};
    for (const auto& [offset, value] : bytes) {
        EXPECT_EQ(image.m_Image[offset], value) << offset;
    }
    EXPECT_EQ(image.m_ImageLen, 0x10004);
    EXPECT_EQ(image.m_FlashBase, 0x100000u);

    // Bytes read before a failure stay, but the length says nothing loaded.
    const auto bad = dir.Write("b.hex", Sam7Start() + Data(0x5000, {0x42}) + Data(0x5001, {1}, 3) + End());
    EXPECT_EQ(image.Load(bad).error, BadChecksum);
    EXPECT_EQ(image.m_ImageLen, 0);
    EXPECT_EQ(image.m_Image[0x5000], 0x42);
}

} // namespace
