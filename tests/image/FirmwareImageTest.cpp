#include "image/FirmwareImage.h"

#include "image/HexReader.h"
#include "support/CaseName.h"
#include "support/HexText.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace brenwick;

namespace {

constexpr uint32_t kSam7Word = 0xE59FF018;
constexpr uint32_t kCortexWord = 0x20001000;

std::vector<uint8_t> AppBytes(size_t size, uint32_t firstWord, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    }
    for (size_t i = 0; i < 4 && i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(firstWord >> (8 * i));
    }
    return bytes;
}

uint32_t Sum(const std::vector<uint8_t>& image, uint32_t from, uint32_t to) {
    uint32_t sum = 0;
    for (uint32_t o = from; o < to; ++o) {
        sum += image[o];
    }
    return sum;
}

struct NameCase {
    const char* name;
    bool loads;
};
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class FileNameCases : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNameCases, TheLastThreeCharactersChooseTheReader) {
    CTempDir dir;
    const bool isBin = std::string(GetParam().name).find("bin") != std::string::npos ||
                       std::string(GetParam().name).find("Bin") != std::string::npos;
    const auto path = isBin ? dir.Write(GetParam().name, AppBytes(64, kSam7Word))
                            : dir.Write(GetParam().name, hex_text::Sam7Start() + hex_text::End());
    CFirmwareImage image;
    const LoadResult r = image.Load(path);
    EXPECT_EQ(r.Ok(), GetParam().loads) << GetParam().name << ": " << r.Describe();
    if (!GetParam().loads) {
        EXPECT_EQ(r.error, LoadError::NotFirmwareName);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, FileNameCases,
                         ::testing::Values(NameCase{"fw.hex", true}, NameCase{"FW.HEX", true},
                                           NameCase{"fw.Bin", true}, NameCase{"firmwarehex", true},
                                           NameCase{"fw.hex.txt", false}, NameCase{"fw.ihx", false}),
                         CaseName<NameCase>);

TEST(FirmwareImage, MissingFileKeepsTheBufferAndFails) {
    CTempDir dir;
    CFirmwareImage image;
    image.m_Image[10] = 0x12;
    const LoadResult r = image.Load(dir.Path("nothing.hex"));
    EXPECT_EQ(r.error, LoadError::CannotOpen);
    EXPECT_EQ(r.errnoValue, ENOENT);
    EXPECT_EQ(image.m_Image[10], 0x12);
    EXPECT_NE(r.Describe().find("No such file"), std::string::npos);
}

struct BinCase {
    const char* name;
    size_t size;
    uint32_t firstWord;
    LoadError error;
    int32_t imageLen;
    uint32_t flashBase;
    uint32_t infoOffset;
};
void PrintTo(const BinCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class BinCases : public ::testing::TestWithParam<BinCase> {};

TEST_P(BinCases, RawFilesGoBehindTheBootArea) {
    const BinCase& c = GetParam();
    CTempDir dir;
    CFirmwareImage image;
    image.m_FlashBase = 0x12345678; // kept by a failed load
    const LoadResult r = image.Load(dir.Write("fw.bin", AppBytes(c.size, c.firstWord)));
    EXPECT_EQ(r.error, c.error) << r.Describe();
    EXPECT_EQ(image.m_ImageLen, c.imageLen);
    EXPECT_EQ(image.m_FlashBase, c.flashBase);
    EXPECT_EQ(image.m_InfoOffset, c.infoOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Bin, BinCases,
    ::testing::Values(BinCase{"empty", 0, kSam7Word, LoadError::UnknownFamily, 0, 0x12345678, 0},
                      BinCase{"sam7", 0x1235, kSam7Word, LoadError::None, 0x5238, 0x100000, 0},
                      BinCase{"cortex", 0x100, kCortexWord, LoadError::None, 0x4100, 0, 0x100},
                      BinCase{"unknown", 0x100, 0x12345678, LoadError::UnknownFamily, 0, 0x12345678, 0},
                      BinCase{"largest", 0x3C000, kSam7Word, LoadError::None, 0x40000, 0x100000, 0},
                      BinCase{"one byte too many", 0x3C001, kSam7Word, LoadError::TooLarge, 0, 0x12345678,
                              0}),
    CaseName<BinCase>);

TEST(Stamp, WritesTheLengthWordAndTheByteSumBehindTheData) {
    CTempDir dir;
    CFirmwareImage image;
    ASSERT_TRUE(image.Load(dir.Write("fw.bin", AppBytes(0x1235, kSam7Word))).Ok());
    ASSERT_EQ(image.m_ImageLen, 0x5238);
    // The three fill bytes up to the rounded length are part of the sum.
    EXPECT_EQ(image.m_Image[0x5235], 0xFF);
    ASSERT_TRUE(image.Stamp(0x4000).Ok());
    EXPECT_EQ(image.m_Image[0x403C], 0x38);
    EXPECT_EQ(image.m_Image[0x403D], 0x52);
    EXPECT_EQ(image.m_Image[0x403E], 0x00);
    EXPECT_EQ(image.m_Image[0x403F], 0x00);
    EXPECT_EQ(image.WordAt(0x5238), Sum(image.m_Image, 0x4000, 0x5238));
    EXPECT_EQ(image.m_ImageLen, 0x5238); // the length itself does not change
}

TEST(Stamp, CortexImagesCarryTheLengthWordBehindTheirVectorTable) {
    CTempDir dir;
    CFirmwareImage image;
    ASSERT_TRUE(image.Load(dir.Write("fw.bin", AppBytes(0x400, kCortexWord))).Ok());
    ASSERT_TRUE(image.Stamp(0x4000).Ok());
    EXPECT_EQ(image.WordAt(0x4000 + 0x13C), 0x4400u);
    EXPECT_EQ(image.WordAt(0x4400), Sum(image.m_Image, 0x4000, 0x4400));
    // Nothing at the SAM7 position was touched.
    EXPECT_EQ(image.m_Image[0x403C], AppBytes(0x400, kCortexWord)[0x3C]);
}

struct RefusalCase {
    const char* name;
    size_t binSize;
    uint32_t firstWord;
    int32_t bootLength;
    LoadError error;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class StampRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(StampRefusals, NeverWriteOutsideTheImage) {
    const RefusalCase& c = GetParam();
    CTempDir dir;
    CFirmwareImage image;
    ASSERT_TRUE(image.Load(dir.Write("fw.bin", AppBytes(c.binSize, c.firstWord))).Ok());
    const std::vector<uint8_t> before = image.m_Image;
    EXPECT_EQ(image.Stamp(c.bootLength).error, c.error);
    if (c.error != LoadError::None) {
        EXPECT_EQ(image.m_Image, before) << "a refused stamp changed the image";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stamp, StampRefusals,
    ::testing::Values(
        RefusalCase{"fits", 0x3BFFC, kSam7Word, 0x4000, LoadError::None},
        RefusalCase{"sum past the end", 0x3C000, kSam7Word, 0x4000, LoadError::TooLarge},
        RefusalCase{"boot length equal to the image", 0x100, kSam7Word, 0x4100, LoadError::BootAreaTooLarge},
        RefusalCase{"boot length above the image", 0x100, kSam7Word, 0x8000, LoadError::BootAreaTooLarge},
        RefusalCase{"negative boot length", 0x100, kSam7Word, -4, LoadError::BootAreaTooLarge},
        RefusalCase{"information block past the end", 0x3BFF0, kCortexWord, 0x3FF00, LoadError::TooLarge}),
    CaseName<RefusalCase>);

TEST(FirmwareImage, ProductIdOutsideTheImageReadsAsErasedFlash) {
    CTempDir dir;
    CFirmwareImage image;
    ASSERT_TRUE(image.Load(dir.Write("fw.bin", AppBytes(0x200, kCortexWord))).Ok());
    const auto inside = image.ProductId(0x4000);
    EXPECT_EQ(inside[0], image.m_Image[0x4150]);
    EXPECT_EQ(inside[3], image.m_Image[0x4153]);
    const auto beyond = image.ProductId(0x3FFFE); // 0x3FFFE + 0x100 + 0x50 is past the buffer
    EXPECT_EQ(beyond, (std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
}

// A FIFO input held open by a writer: what the writer does decides how the load ends, and no case may wait
// longer than its limits allow.
struct StreamCase {
    const char* name;
    std::string written; // by the writer, after a pause; it then closes
    bool writerStays;    // the writer never closes (a stalled input)
    bool stop;           // the stop hook asks to end
    LoadError error;
};
void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class StreamInputs : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamInputs, EndAsTheWriterOrTheLimitsDecide) {
    const StreamCase& c = GetParam();
    CTempDir dir;
    const std::string fifo = dir.Path("in.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC); // a FIFO opened so never waits
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (fd >= 0 &&
            ::write(fd, c.written.data(), c.written.size()) != static_cast<ssize_t>(c.written.size())) {
            ADD_FAILURE() << "short write";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(c.writerStays ? 800 : 0));
        ::close(fd);
    });
    CFirmwareImage image;
    const ReadLimits limits{[&] { return c.stop; }, std::chrono::milliseconds(300)};
    EXPECT_EQ(image.Load(fifo, limits).error, c.error);
    writer.join();
}

const std::string kSam7Hex = hex_text::FileFor(0x104000, AppBytes(0x40, kSam7Word));

INSTANTIATE_TEST_SUITE_P(Load, StreamInputs,
                         ::testing::Values(StreamCase{"whole_file", kSam7Hex, false, false, LoadError::None},
                                           StreamCase{"writer_stalls", "", true, false, LoadError::NoData},
                                           StreamCase{"writer_stalls_mid_file", hex_text::Sam7Start(), true,
                                                      false, LoadError::NoData},
                                           StreamCase{"stopped", "", true, true, LoadError::Interrupted},
                                           StreamCase{"writer_leaves_early", hex_text::Sam7Start(), false,
                                                      false, LoadError::NoEndRecord}),
                         CaseName<StreamCase>);

TEST(FirmwareImage, TextWithoutRecordsIsRefusedAfterABoundedAmount) {
    CTempDir dir;
    const std::string junk(kMaxBytesWithoutRecord + 16, ' ');
    CFirmwareImage image;
    EXPECT_EQ(image.Load(dir.Write("junk.hex", junk + kSam7Hex)).error, LoadError::NoHexRecords);
}

} // namespace
