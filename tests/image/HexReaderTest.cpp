#include "image/FirmwareImage.h"
#include "support/CaseName.h"
#include "support/HexText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace brenwick;

using namespace hex_text;

namespace {

struct HexCase {
    const char* name;
    std::string text;
    LoadError error;
    int32_t imageLen; // expected on success
    int line;         // expected line of a failing record (0: not checked)
};
void PrintTo(const HexCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

std::vector<uint8_t> Bytes(size_t n, uint8_t value) {
    return std::vector<uint8_t>(n, value);
}

std::vector<HexCase> HexCases() {
    const std::string start = Sam7Start(); // 2 lines, image length 0x4004
    return {
        {"minimal image", start + End(), LoadError::None, 0x4004, 0},
        {"lower-case digits and CRLF", ":020000040010ea\r\n:0440000018f09fe530\r\n:00000001ff\r\n",
         LoadError::None, 0x4004, 0},
        {"spaces inside a record", ": 02 0000 04 0010 EA\n: 04 4000 00 18F09FE5 30\n:00000001FF\n",
         LoadError::None, 0x4004, 0},
        {"text between records is skipped", "garbage\n" + start + "; comment\n" + End(), LoadError::None,
         0x4004, 0},
        {"no end record", start, LoadError::NoEndRecord, 0, 0},
        {"empty file", "", LoadError::NoEndRecord, 0, 0},
        {"records after the end record are never read", start + End() + Data(0x5000, {1, 2}, 7),
         LoadError::None, 0x4004, 0},
        {"any record with byte count 0 ends the file", start + ":00000005FB\n" + Data(0x5000, {1}),
         LoadError::None, 0x4004, 0},
        {"unreadable byte count ends the file", start + ":zz\n" + Data(0x5000, {1}), LoadError::None, 0x4004,
         0},
        {"16-bit addresses only", Data(0x4000, {0x18, 0xF0, 0x9F, 0xE5}) + End(),
         LoadError::AddressOutsideWindow, 0, 1},
        {"type-2 records are ignored", Record(2, 0, {0x10, 0x00}) + start + End(), LoadError::None, 0x4004,
         0},
        {"type-4 record with a wrong checksum is accepted",
         Upper(0x0010, 5) + Data(0x4000, {0x18, 0xF0, 0x9F, 0xE5}) + End(), LoadError::None, 0x4004, 0},
        {"data record with a wrong checksum", start + Data(0x4010, {1, 2, 3}, 1) + End(),
         LoadError::BadChecksum, 0, 3},
        {"byte at 0x13FFFF loads", start + Upper(0x0013) + Data(0xFFFF, {0xAA}) + End(), LoadError::None,
         0x40000, 0},
        {"byte at 0x140000 fails", start + Upper(0x0014) + Data(0x0000, {0xAA}) + End(),
         LoadError::AddressOutsideWindow, 0, 4},
        {"record running past the window", start + Upper(0x0013) + Data(0xFFFE, {1, 2, 3}) + End(),
         LoadError::AddressOutsideWindow, 0, 4},
        {"highest byte at 0x8000 rounds to 0x8004", start + Data(0x8000, {1}) + End(), LoadError::None,
         0x8004, 0},
        {"highest byte at 0x7FFF gives 0x8000", start + Data(0x7FFF, {1}) + End(), LoadError::None, 0x8000,
         0},
        {"data below the boot area end is read too", start + Data(0x0000, {9}) + End(), LoadError::None,
         0x4004, 0},
        {"truncated data", start + ":10401000AABB\n", LoadError::BadRecord, 0, 3},
        {"huge byte count with little data", start + ":FF40100001020304\n" + End(), LoadError::BadRecord, 0,
         3},
        {"missing offset", start + ":10\n", LoadError::BadRecord, 0, 3},
        {"missing type", start + ":104010\n", LoadError::BadRecord, 0, 3},
        {"missing extended address", ":02000004\n", LoadError::BadRecord, 0, 1},
        {"missing checksum at the end of the file", start + ":0140100001", LoadError::BadRecord, 0, 3},
        // ':' followed by an unreadable count ends the file cleanly, but no family marker was read.
        {"binary junk", std::string("\x00\xff:\x01\x02\x03", 6), LoadError::UnknownFamily, 0, 0},
        {"no family marker", Upper(0x0010) + Data(0x4000, {1, 2, 3, 4}) + End(), LoadError::UnknownFamily, 0,
         0},
    };
}

class HexRecordCases : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexRecordCases, LoadsOrRefuses) {
    const HexCase& c = GetParam();
    CTempDir dir;
    CFirmwareImage image;
    const LoadResult r = image.Load(dir.Write("case.hex", c.text));
    EXPECT_EQ(r.error, c.error) << r.Describe();
    EXPECT_EQ(image.m_ImageLen, c.error == LoadError::None ? c.imageLen : 0);
    if (c.line != 0) {
        EXPECT_EQ(r.line, c.line) << r.Describe();
    }
}

INSTANTIATE_TEST_SUITE_P(Hex, HexRecordCases, ::testing::ValuesIn(HexCases()), CaseName<HexCase>);

TEST(HexReader, StoresBytesAtTheirOffsetsAndFillsTheRest) {
    CTempDir dir;
    CFirmwareImage image;
    std::fill(image.m_Image.begin(), image.m_Image.end(), 0x00); // a load must refill with 0xFF
    const auto path = dir.Write("a.hex", Sam7Start() + Data(0x4100, {0x11, 0x22}) + Upper(0x0011) +
                                             Data(0x0002, {0x33}) + End());
    ASSERT_TRUE(image.Load(path).Ok());
    EXPECT_EQ(image.m_Image[0x4003], 0xE5);
    EXPECT_EQ(image.m_Image[0x4100], 0x11);
    EXPECT_EQ(image.m_Image[0x4101], 0x22);
    EXPECT_EQ(image.m_Image[0x10002], 0x33);
    EXPECT_EQ(image.m_Image[0x4102], 0xFF);
    EXPECT_EQ(image.m_Image[0x0000], 0xFF);
    EXPECT_EQ(image.m_ImageLen, 0x10004);
    EXPECT_EQ(image.m_FlashBase, 0x100000u);
}

TEST(HexReader, DataBytesBeforeAFailureStayButTheLengthIsZero) {
    CTempDir dir;
    CFirmwareImage image;
    const auto path = dir.Write("a.hex", Sam7Start() + Data(0x5000, {0x42}) + Data(0x5001, {1}, 3) + End());
    EXPECT_EQ(image.Load(path).error, LoadError::BadChecksum);
    EXPECT_EQ(image.m_ImageLen, 0);
    EXPECT_EQ(image.m_Image[0x5000], 0x42);
}

TEST(HexReader, LargeByteCountsNeverWriteOutsideTheImage) {
    // 255-byte records right up to the end of the window: the last one runs over and must be refused.
    std::string text = Sam7Start() + Upper(0x0013);
    for (uint32_t at = 0xFE00; at + 255 <= 0x10000; at += 255) {
        text += Data(static_cast<uint16_t>(at), Bytes(255, 0x5A));
    }
    text += Data(0xFFF0, Bytes(255, 0x5A)) + End();
    CTempDir dir;
    CFirmwareImage image;
    EXPECT_EQ(image.Load(dir.Write("big.hex", text)).error, LoadError::AddressOutsideWindow);
    EXPECT_EQ(image.m_Image.size(), 0x40000u);
}

} // namespace
