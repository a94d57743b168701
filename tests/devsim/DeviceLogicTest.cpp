// The simulator's pieces that need no line: the stamp check, line time and the command line. How the device
// cuts messages out of what arrives is tested over its line, in SimulatedDeviceTest.cpp.
#include "devsim/CommandLine.h"
#include "devsim/LineClock.h"
#include "devsim/StampCheck.h"
#include "support/HostMessages.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace brenwick;
using namespace brenwick::devsim;
using Bytes = std::vector<uint8_t>;

TEST(DevsimStampCheck, AcceptsOnlyAConsistentStamp) {
    const auto arm = hostmsg::MakeStampedImage(0xE5, 0x1235);
    const auto cortex = hostmsg::MakeStampedImage(0x20, 0x1235);
    EXPECT_EQ(CheckStamp(arm.bytes, 0x4000).result, StampResult::Ok);
    EXPECT_EQ(CheckStamp(cortex.bytes, 0x4000).result, StampResult::Ok);
    EXPECT_EQ(CheckStamp(arm.bytes, 0x4000).length, 0x5238u);

    struct Case {
        const char* what;
        size_t offset;
        uint8_t value;
        StampResult expected;
    };
    const Case cases[] = {
        {"sum byte", 0x5238, 0x00, StampResult::SumMismatch},
        {"last data byte", 0x5237, 0x00, StampResult::SumMismatch},
        {"family", 0x4003, 0x21, StampResult::UnknownFamily},
        {"length far beyond the flash", 0x403F, 0x01, StampResult::LengthOutOfRange},
        {"length inside the block", 0x403D, 0x00, StampResult::LengthOutOfRange},
    };
    for (const Case& c : cases) {
        auto flash = arm.bytes;
        flash[c.offset] = c.value == flash[c.offset] ? static_cast<uint8_t>(c.value + 1) : c.value;
        EXPECT_EQ(CheckStamp(flash, 0x4000).result, c.expected) << c.what;
    }
    // A Cortex-M image keeps its length word at 0x13C behind the boot area, not at 0x3C.
    auto moved = cortex.bytes;
    moved[0x403C] ^= 0xFF;
    EXPECT_EQ(CheckStamp(moved, 0x4000).result, StampResult::SumMismatch);

    // Stamps that would reach past a small flash are refused, not read out of bounds.
    const Bytes tiny = {0x00, 0x00, 0x00, 0xE5};
    EXPECT_EQ(CheckStamp(tiny, 0).result, StampResult::LengthOutOfRange);
    EXPECT_EQ(CheckStamp(tiny, 2).result, StampResult::UnknownFamily);
}

TEST(DevsimLineClock, TenBitsPerByteAndMessagesQueueOnTheLine) {
    CLineClock line(9600);
    EXPECT_EQ(line.WireTime(96).count(), 100'000'000);
    const auto t0 = Clock::now();
    const auto first = line.Arrived(t0, 96);
    EXPECT_EQ(first - t0, std::chrono::milliseconds(100));
    // A second message seen at the same moment cannot have crossed the line before the first.
    EXPECT_EQ(line.Arrived(t0, 96) - t0, std::chrono::milliseconds(200));
    EXPECT_EQ(CLineClock(0).Arrived(t0, 1000), t0);
    EXPECT_EQ(CLineClock(0).WireTime(1000).count(), 0);
}

namespace {

// The words of one command line, split at spaces.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(' ', at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

} // namespace

TEST(DevsimCommandLine, ReadsEveryOptionInEveryNotation) {
    const ParsedCommandLine parsed = ParseCommandLine(
        Words("--name Bench --serial=SN9 --product-id 0A0b0C0d --boot-rev 0x12C --flash-rev 200 --aux-word 7 "
              "--flash-size 0x20000 --page-size 128 --boot-length 8192 --nak-page 3 --hang-up-page 4 "
              "--reply-delay 25 "
              "--baud 115200 --flash-out /tmp/f.bin --link /tmp/ttyDEV -v --silent --stall-after-begin "
              "--quiet-after-end 900 --no-geometry"));
    ASSERT_EQ(parsed.action, CommandLineAction::Run) << parsed.error;
    const DeviceSimOptions& o = parsed.options;
    EXPECT_EQ(std::tie(o.name, o.serial, o.flashOut, o.linkPath),
              std::make_tuple("Bench", "SN9", "/tmp/f.bin", "/tmp/ttyDEV"));
    EXPECT_EQ((Bytes{o.productId[0], o.productId[1], o.productId[2], o.productId[3]}),
              (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));
    EXPECT_EQ((std::vector<int>{o.bootRev, o.flashRev, o.auxWord, o.flashSize, o.pageSize, o.bootLength,
                                o.nakPage, o.hangUpPage, o.replyDelayMs, o.baud, o.quietAfterEndMs}),
              (std::vector<int>{300, 200, 7, 0x20000, 128, 8192, 3, 4, 25, 115200, 900}));
    EXPECT_TRUE(o.verbose && o.silent && o.stallAfterBegin && o.noGeometry);
}

TEST(DevsimCommandLine, RefusesBadArguments) {
    for (const char* args :
         {"--bogus", "--page-size", "--page-size 0", "--page-size 8186", "--page-size 12x", "--flash-size -5",
          "--boot-rev 65536", "--product-id 5AFF", "--product-id 5AFFA5G0", "--boot-length 0x40000",
          "--baud 10", "--reply-delay 0x", "--flash-out=", "positional"}) {
        const ParsedCommandLine parsed = ParseCommandLine(Words(args));
        EXPECT_EQ(parsed.action, CommandLineAction::Error) << args;
        EXPECT_FALSE(parsed.error.empty()) << args;
    }
    EXPECT_EQ(ParseCommandLine(Words("--name x --help")).action, CommandLineAction::Help);
    EXPECT_EQ(ParseCommandLine(Words("--name x --version")).action, CommandLineAction::Version);
}
