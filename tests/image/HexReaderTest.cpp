#include "image/HexReader.h"

#include "image/FirmwareImage.h"
#include "support/CaseName.h"
#include "support/Firmware.h"
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
    const char* file = "case.hex"; // the last three characters of the name choose the reader
};
void PrintTo(const HexCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

std::vector<HexCase> HexCases() {
    const std::string start = Sam7Start(); // 2 lines, image length 0x4004
    const auto bin = firmware::Application(64, firmware::kSam7Word, 0);
    return {
        {"upper-case name", start + End(), None, 0x4004, "FW.HEX"},
        {"any name ending in hex", start + End(), None, 0x4004, "firmwarehex"},
        {"name ending in bin, any case", std::string(bin.begin(), bin.end()), None, 0x4040, "fw.Bin"},
        {"other names are refused", start + End(), NotFirmwareName, 0, "fw.hex.txt"},
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
    const LoadResult r = image.Load(dir.Write(c.file, c.text));
    EXPECT_EQ(r.error, c.error) << r.Describe();
    EXPECT_EQ(image.m_ImageLen, c.error == None ? c.expected : 0);
    if (c.error != None && c.expected != 0) {
        EXPECT_EQ(r.line, c.expected) << r.Describe();
    }
}

INSTANTIATE_TEST_SUITE_P(Hex, HexRecordCases, ::testing::ValuesIn(HexCases()), CaseName<HexCase>);

} // namespace
