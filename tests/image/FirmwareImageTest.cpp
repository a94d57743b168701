#include "image/FirmwareImage.h"

#include "support/Firmware.h"
#include "support/HexText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <thread>
#include <tuple>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace brenwick;
namespace fs = std::filesystem;
using enum brenwick::LoadError;

namespace {

using firmware::kCortexWord;
using firmware::kSam7Word;

std::vector<uint8_t> AppBytes(size_t size, uint32_t firstWord) {
    return size < 4 ? std::vector<uint8_t>(size) : firmware::Application(size, firstWord, 0);
}

TEST(FirmwareImage, AMissingFileFailsWithTheSystemsReason) {
    CTempDir dir;
    const LoadResult r = CFirmwareImage().Load(dir.Path("nothing.hex"));
    EXPECT_EQ(r.error, CannotOpen);
    EXPECT_EQ(r.errnoValue, ENOENT);
    EXPECT_NE(r.Describe().find("No such file"), std::string::npos);
}

TEST(FirmwareImage, RawFilesGoBehindTheBootArea) {
    const struct {
        const char* name;
        size_t size;
        uint32_t firstWord;
        LoadError error;
        int32_t imageLen;
        uint32_t flashBase; // 0x12345678: kept from before the load
        uint32_t infoOffset;
    } cases[] = {{"empty", 0, kSam7Word, UnknownFamily, 0, 0x12345678, 0},
                 {"sam7", 0x1235, kSam7Word, None, 0x5238, 0x100000, 0},
                 {"cortex", 0x100, kCortexWord, None, 0x4100, 0, 0x100},
                 {"unknown", 0x100, 0x12345678, UnknownFamily, 0, 0x12345678, 0},
                 {"largest", 0x3C000, kSam7Word, None, 0x40000, 0x100000, 0},
                 {"one byte too many", 0x3C001, kSam7Word, TooLarge, 0, 0x12345678, 0}};
#ifdef _WIN32
    const bool streams[] = {false}; // the pipe below is named through /proc/self/fd
#else
    const bool streams[] = {false, true}; // a pipe has no size: it is read to its end
#endif
    for (const bool stream : streams) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (stream ? " through a pipe" : ""));
            CTempDir dir;
            const auto bytes = AppBytes(c.size, c.firstWord);
            if (!stream) {
                dir.Write("fw.bin", bytes);
            }
#ifndef _WIN32
            int pipeFds[2] = {-1, -1};
            if (stream) { // made large enough to take the whole file, so no writer needs to wait
                ASSERT_EQ(::pipe(pipeFds), 0);
                ASSERT_GT(::fcntl(pipeFds[1], F_SETPIPE_SZ, 0x40000), 0x3C000);
                ASSERT_EQ(::write(pipeFds[1], bytes.data(), bytes.size()),
                          static_cast<ssize_t>(bytes.size()));
                ::close(pipeFds[1]);
                fs::create_symlink("/proc/self/fd/" + std::to_string(pipeFds[0]), dir.Path("fw.bin"));
            }
#endif
            CFirmwareImage image;
            image.m_FlashBase = 0x12345678;
            const LoadResult r = image.Load(dir.Path("fw.bin"));
#ifndef _WIN32
            ::close(pipeFds[0]);
#endif
            EXPECT_EQ(r.error, c.error) << r.Describe();
            EXPECT_EQ(image.m_ImageLen, c.imageLen);
            EXPECT_EQ(image.m_FlashBase, c.flashBase);
            EXPECT_EQ(image.m_InfoOffset, c.infoOffset);
        }
    }
}

// A stamped image must equal the one the shared firmware rules work out (length word in the information
// block, byte sum of the rounded length behind the data); a refused stamp changes no byte and unloads the
// image.
TEST(FirmwareImage, StampWritesLengthAndSumOrRefusesWithoutWriting) {
    const std::tuple<const char*, size_t, uint32_t, int32_t, LoadError> cases[] = {
        {"sam7", 0x1235, kSam7Word, 0x4000, None},
        {"cortex", 0x400, kCortexWord, 0x4000, None},
        {"largest that fits", 0x3BFFC, kSam7Word, 0x4000, None},
        {"sum past the end", 0x3C000, kSam7Word, 0x4000, TooLarge},
        {"boot length equal to the image", 0x100, kSam7Word, 0x4100, BootAreaTooLarge},
        {"boot length above the image", 0x100, kSam7Word, 0x8000, BootAreaTooLarge},
        {"negative boot length", 0x100, kSam7Word, -4, BootAreaTooLarge},
        {"information block past the end", 0x3BFF0, kCortexWord, 0x3FF00, TooLarge}};
    for (const auto& [name, size, firstWord, bootLength, error] : cases) {
        SCOPED_TRACE(name);
        CTempDir dir;
        CFirmwareImage image;
        image.m_FlashBase = 0x12345678; // what a refusal must bring back
        const auto app = AppBytes(size, firstWord);
        ASSERT_TRUE(image.Load(dir.Write("fw.bin", app)).Ok());
        const int32_t length = image.m_ImageLen;
        const uint32_t infoOffset = image.m_InfoOffset;
        const std::vector<uint8_t> before = image.m_Image;
        EXPECT_EQ(image.Stamp(bootLength).error, error);
        const auto expected = error != None
                                  ? before
                                  : firmware::ExpectedFlash(app, firmware::InfoOffsetFor(firstWord),
                                                            firmware::kImageSize, firmware::kImageSize);
        EXPECT_TRUE(image.m_Image == expected) << "the image differs from the one expected";
        EXPECT_EQ(image.m_ImageLen, error != None ? 0 : length);
        EXPECT_EQ(image.m_InfoOffset, error != None ? 0 : infoOffset);
        EXPECT_EQ(image.m_FlashBase, error != None ? 0x12345678 : (firstWord == kSam7Word ? 0x100000u : 0u));
    }
}

TEST(FirmwareImage, ProductIdIsReadBehindTheInformationBlockAndAsErasedFlashPastTheImage) {
    CTempDir dir;
    CFirmwareImage image;
    const auto app = firmware::Application(0x200, kCortexWord, 0x100, {0x5A, 0xFF, 0xA5, 0x00});
    ASSERT_TRUE(image.Load(dir.Write("fw.bin", app)).Ok());
    EXPECT_EQ(image.ProductId(0x4000), (std::array<uint8_t, 4>{0x5A, 0xFF, 0xA5, 0x00}));
    // 0x3FFFE + 0x100 + 0x50 is past the buffer.
    EXPECT_EQ(image.ProductId(0x3FFFE), (std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
}

#ifndef _WIN32
// A FIFO input held open by a writer: what the writer does decides how the load ends, and no case may wait
// longer than its limits allow.
TEST(FirmwareImage, StreamInputsEndAsTheWriterOrTheLimitsDecide) {
    // What the writer writes after a pause (then it closes, unless it stays: a stalled input), whether the
    // stop hook asks to end, whether only regular files will do, and the result.
    const std::string whole = hex_text::FileFor(0x104000, AppBytes(0x40, kSam7Word));
    const std::tuple<const char*, std::string, bool, bool, bool, LoadError> cases[] = {
        {"whole file", whole, false, false, false, None},
        {"writer stalls", "", true, false, false, NoData},
        {"writer stalls mid-file", hex_text::Sam7Start(), true, false, false, NoData},
        {"stopped", "", true, true, false, Interrupted},
        {"writer leaves early", hex_text::Sam7Start(), false, false, false, NoEndRecord},
        {"regular files only", whole, true, false, true, NotRegularFile}};
    for (const auto& [name, written, writerStays, stop, regularOnly, error] : cases) {
        SCOPED_TRACE(name);
        CTempDir dir;
        const std::string fifo = dir.Path("in.hex");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] {
            const int fd = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC); // a FIFO opened so never waits
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (fd >= 0 &&
                ::write(fd, written.data(), written.size()) != static_cast<ssize_t>(written.size())) {
                ADD_FAILURE() << "short write";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(writerStays ? 800 : 0));
            ::close(fd);
        });
        CFirmwareImage image;
        const ReadLimits limits{[&] { return stop; }, std::chrono::milliseconds(300), regularOnly};
        EXPECT_EQ(image.Load(fifo, limits).error, error);
        writer.join();
    }
}
#endif

} // namespace
