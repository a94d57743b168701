// The simulator's pieces that need no line: reassembly, the stamp check, line time and the command line.

#include "support/HostMessages.h"
#include "devsim/CommandLine.h"
#include "devsim/FrameAssembler.h"
#include "devsim/LineClock.h"
#include "devsim/StampCheck.h"

#include <gtest/gtest.h>

using namespace brenwick;

using Bytes = std::vector<uint8_t>;
using namespace devsim;

namespace {

std::vector<Bytes> FeedAll(CFrameAssembler& assembler, const std::vector<Bytes>& chunks) {
    std::vector<ReceivedFrame> frames;
    for (const Bytes& chunk : chunks) {
        assembler.Feed(chunk, Clock::now(), frames);
    }
    std::vector<Bytes> out;
    for (auto& f : frames) {
        out.push_back(f.bytes);
    }
    return out;
}

} // namespace

TEST(DevsimFrameAssembler, CutsMessagesByTheirHeaderInAnySplit) {
    struct Case {
        const char* what;
        std::vector<Bytes> chunks;
        std::vector<Bytes> messages;
        size_t left; // bytes of an unfinished message
    };
    const Case cases[] = {
        {"empty acknowledgement", {{0x02, 0x00}}, {{0x02, 0x00}}, 0},
        {"two in one chunk",
         {{0x04, 0x20, 0x01, 0x00, 0x02, 0x00}},
         {{0x04, 0x20, 0x01, 0x00}, {0x02, 0x00}},
         0},
        {"split inside the header",
         {{0x05}, {0x20, 0x04}, {0x00, 0x01}},
         {{0x05, 0x20, 0x04, 0x00, 0x01}},
         0},
        {"length field 1 takes three bytes", {{0x01, 0x20, 0x09, 0x04}}, {{0x01, 0x20, 0x09}}, 1},
        {"type bits do not change the length", {{0x03, 0xE0, 0x01}}, {{0x03, 0xE0, 0x01}}, 0},
        {"unfinished", {{0x08, 0x80, 0x00}}, {}, 3},
    };
    for (const Case& c : cases) {
        CFrameAssembler assembler;
        EXPECT_EQ(FeedAll(assembler, c.chunks), c.messages) << c.what;
        EXPECT_EQ(assembler.PartialSize(), c.left) << c.what;
    }
}

TEST(DevsimFrameAssembler, LengthZeroMeans8194BytesAndDroppingStartsAfresh) {
    CFrameAssembler assembler;
    Bytes big(8193, 0x11);
    big[0] = 0x00;
    big[1] = 0x80;
    EXPECT_TRUE(FeedAll(assembler, {big}).empty());
    EXPECT_EQ(FeedAll(assembler, {{0x22}}).at(0).size(), 8194u);

    FeedAll(assembler, {{0x40, 0x00, 0x01}});
    ASSERT_TRUE(assembler.HasPartial());
    assembler.DropPartial();
    const std::vector<Bytes> expected = {{0x04, 0x20, 0x05, 0x00}};
    EXPECT_EQ(FeedAll(assembler, {{0x04, 0x20, 0x05, 0x00}}), expected);
}

TEST(DevsimStampCheck, AcceptsOnlyAConsistentStamp) {
    const auto arm = hostmsg::MakeStampedImage(0xE5, 0x40000, 0x4000, 0x1235);
    const auto cortex = hostmsg::MakeStampedImage(0x20, 0x40000, 0x4000, 0x1235);
    EXPECT_EQ(arm.imageLen, 0x5238u);
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

TEST(DevsimCommandLine, ReadsEveryOption) {
    const std::vector<std::string_view> args = {"--name",
                                                "Bench Unit",
                                                "--serial=SN9",
                                                "--product-id",
                                                "0A0b0C0d",
                                                "--boot-rev",
                                                "0x12C",
                                                "--flash-rev",
                                                "200",
                                                "--aux-word",
                                                "7",
                                                "--flash-size",
                                                "0x20000",
                                                "--page-size",
                                                "128",
                                                "--boot-length",
                                                "8192",
                                                "--nak-page",
                                                "3",
                                                "--hang-up-page",
                                                "4",
                                                "--reply-delay",
                                                "25",
                                                "--baud",
                                                "115200",
                                                "--flash-out",
                                                "/tmp/f.bin",
                                                "--link",
                                                "/tmp/ttyDEV",
                                                "-v",
                                                "--silent"};
    const ParsedCommandLine parsed = ParseCommandLine(args);
    ASSERT_EQ(parsed.action, CommandLineAction::Run) << parsed.error;
    const DeviceSimOptions& o = parsed.options;
    EXPECT_EQ(o.name, "Bench Unit");
    EXPECT_EQ(o.serial, "SN9");
    EXPECT_EQ((Bytes{o.productId[0], o.productId[1], o.productId[2], o.productId[3]}),
              (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));
    EXPECT_EQ(o.bootRev, 300);
    EXPECT_EQ(o.flashRev, 200);
    EXPECT_EQ(o.auxWord, 7);
    EXPECT_EQ(o.flashSize, 0x20000);
    EXPECT_EQ(o.pageSize, 128);
    EXPECT_EQ(o.bootLength, 8192);
    EXPECT_EQ(o.nakPage, 3);
    EXPECT_EQ(o.hangUpPage, 4);
    EXPECT_EQ(o.replyDelayMs, 25);
    EXPECT_EQ(o.baud, 115200);
    EXPECT_EQ(o.flashOut, "/tmp/f.bin");
    EXPECT_EQ(o.linkPath, "/tmp/ttyDEV");
    EXPECT_TRUE(o.verbose);
    EXPECT_TRUE(o.silent);
}

TEST(DevsimCommandLine, RefusesBadArguments) {
    const std::vector<std::vector<std::string_view>> cases = {
        {"--bogus"},
        {"--page-size"},
        {"--page-size", "0"},
        {"--page-size", "8186"},
        {"--page-size", "12x"},
        {"--flash-size", "-5"},
        {"--boot-rev", "65536"},
        {"--product-id", "5AFF"},
        {"--product-id", "5AFFA5G0"},
        {"--boot-length", "0x40000"},
        {"--baud", "10"},
        {"--reply-delay", "0x"},
        {"--flash-out="},
        {"positional"},
    };
    for (const auto& args : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.action, CommandLineAction::Error)
            << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(parsed.error.empty());
    }
    const std::vector<std::string_view> help = {"--name", "x", "--help"};
    EXPECT_EQ(ParseCommandLine(help).action, CommandLineAction::Help);
}
