// The programming sequence on its own, over a scripted link: which messages go out in which order, which
// images are refused before anything is sent, and where a run that fails says it stopped.
#include "protocol/MessageFrame.h"
#include "protocol/ProgrammingSequence.h"
#include "support/Firmware.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <map>

using namespace brenwick;

namespace {

using Bytes = std::vector<uint8_t>;
using firmware::Application;
using firmware::kSam7Word;

// A link that releases every message unless the script says otherwise, and records what was sent.
class CScriptedLink : public IMessageTransport {
  public:
    SendOutcome SendAndWait(const uint8_t* message) override {
        const size_t index = m_Sent.size();
        m_Sent.emplace_back(message, message + frame::SendLength(message));
        if (index + 1 == m_StopAfter) {
            m_Stopping = true;
        }
        const auto it = m_Answers.find(index);
        return it == m_Answers.end() ? SendOutcome{} : it->second;
    }
    bool PauseUnlessStopped(uint32_t timeoutMs) override {
        m_Paused += timeoutMs;
        m_Stopping = m_Stopping || m_StopInPause;
        return !m_Stopping;
    }
    bool RunStopping() const override { return m_Stopping; }
    void OnBytesSent(int32_t sent) override { m_Progress.push_back(sent); }
    void OnBoardChanging() override { m_BoardChanging = true; }

    std::map<size_t, SendOutcome> m_Answers; // by message index, from 0
    size_t m_StopAfter = 0;                  // the run is told to stop once this many messages went out
    bool m_StopInPause = false;
    bool m_Stopping = false;
    std::vector<Bytes> m_Sent;
    std::vector<int32_t> m_Progress;
    uint32_t m_Paused = 0;
    bool m_BoardChanging = false;
};

DeviceInfo Device(int32_t pageSize = 256, int32_t flashSize = 0x40000) {
    DeviceInfo device;
    device.flashSize = flashSize;
    device.pageSize = pageSize;
    device.bootLength = 0x4000;
    return device;
}

Bytes ProgramControl(ProgramPhase phase) {
    return {0x0A, 0x00, 0x00, 0x03, 0x00, static_cast<uint8_t>(phase), 0x5A, 0xFF, 0xA5, 0x00};
}

// The flash a device would hold after taking the run's pages: erased, then each page at its address.
Bytes FlashAfter(const std::vector<Bytes>& sent, size_t flashSize) {
    Bytes flash(flashSize, 0xFF);
    for (const Bytes& m : sent) {
        if (frame::TypeOf(m.data()) == MessageType::DataItem) {
            const uint32_t at = frame::GetU32(m.data() + 2) - 0x100000;
            std::copy(m.begin() + protocol::kDataItemHeader, m.end(), flash.begin() + at);
        }
    }
    return flash;
}

class Sequence : public ::testing::Test {
  protected:
    // The application as a .bin file, loaded and stamped for the device's boot area.
    const CFirmwareImage& Load(const Bytes& app) {
        EXPECT_TRUE(m_Image.Load(m_Dir.Write("fw.bin", app)).Ok());
        EXPECT_TRUE(m_Image.Stamp(0x4000).Ok());
        return m_Image;
    }
    SequenceResult Run(const DeviceInfo& device) { return RunSequence(m_Link, m_Image, device, m_Failure); }

    CTempDir m_Dir;
    CFirmwareImage m_Image;
    CScriptedLink m_Link;
    RunFailure m_Failure;
};

TEST_F(Sequence, PrepareAPauseBeginThePagesFromTheBootAreaAndEnd) {
    const Bytes app = Application(0x300, kSam7Word, 0);
    Load(app);
    ASSERT_EQ(Run(Device()), SequenceResult::Succeeded);
    const auto& sent = m_Link.m_Sent;
    ASSERT_EQ(sent.size(), 3u + 4u); // 0x300 bytes and the sum: four 256-byte pages
    EXPECT_EQ(sent.front(), ProgramControl(ProgramPhase::Prepare));
    EXPECT_EQ(sent[1], ProgramControl(ProgramPhase::Begin));
    EXPECT_EQ(sent.back(), ProgramControl(ProgramPhase::End));
    for (size_t page = 0; page < 4; ++page) {
        const Bytes& m = sent[2 + page];
        EXPECT_EQ(frame::HeaderWord(m.data()), 0x8000 | (256 + 6)) << page;
        EXPECT_EQ(frame::GetU32(m.data() + 2), 0x104000 + 256 * page) << page;
    }
    EXPECT_EQ(m_Link.m_Paused, protocol::kPreparePauseMs);
    EXPECT_TRUE(m_Link.m_BoardChanging);
    EXPECT_EQ(m_Link.m_Progress, (std::vector<int32_t>{256, 512, 768, 1024}));
    EXPECT_EQ(FlashAfter(sent, 0x40000), firmware::ExpectedFlash(app, 0, 0x40000, 256));
    EXPECT_EQ(m_Failure.step, RunStep::None);
}

// A page must fit one message; the smallest and the largest that do carry the image exactly.
TEST_F(Sequence, PageSizesAtTheLimitsCarryTheImage) {
    const Bytes app = Application(0x61, kSam7Word, 0);
    for (const int32_t pageSize : {1, protocol::kMaxPageSize}) {
        SCOPED_TRACE(pageSize);
        m_Link = {};
        Load(app);
        ASSERT_EQ(Run(Device(pageSize)), SequenceResult::Succeeded);
        EXPECT_EQ(FlashAfter(m_Link.m_Sent, 0x40000),
                  firmware::ExpectedFlash(app, 0, 0x40000, static_cast<size_t>(pageSize)));
    }
}

TEST_F(Sequence, TheLastPageMayReachPastTheImageAndCarriesErasedBytes) {
    // The image and its sum fill the buffer exactly; 1000-byte pages end 240 bytes beyond it, which go out as
    // erased flash, not as whatever lies behind the buffer.
    const Bytes app = Application(0x3BFFC, kSam7Word, 0);
    Load(app);
    ASSERT_EQ(Run(Device(1000, 0x80000)), SequenceResult::Succeeded);
    EXPECT_EQ(m_Link.m_Sent.size(), 3u + 246u);
    const Bytes& last = m_Link.m_Sent[m_Link.m_Sent.size() - 2];
    EXPECT_EQ(Bytes(last.end() - 240, last.end()), Bytes(240, 0xFF));
    EXPECT_EQ(FlashAfter(m_Link.m_Sent, 0x80000), firmware::ExpectedFlash(app, 0, 0x80000, 1000));
}

struct RefusalCase {
    const char* name;
    DeviceInfo device;
    Bytes imageProductId;
    SequenceResult result;
};

TEST_F(Sequence, ImagesThatCannotGoToTheDeviceAreRefusedBeforeAnythingIsSent) {
    const auto reported = [](DeviceInfo d, uint32_t id) {
        d.productId = id;
        d.productIdReported = true;
        return d;
    };
    const auto boot = [](DeviceInfo d, int32_t length) {
        d.bootLength = length;
        return d;
    };
    const Bytes defaultId = {0x5A, 0xFF, 0xA5, 0x00};
    const RefusalCase cases[] = {
        {"another product", reported(Device(), 0x04030201), defaultId, SequenceResult::ProductMismatch},
        {"the same product", reported(Device(), 0x04030201), {1, 2, 3, 4}, SequenceResult::Succeeded},
        {"no product ID reported", Device(), {9, 9, 9, 9}, SequenceResult::Succeeded},
        {"page size 0", Device(0), defaultId, SequenceResult::BadPageSize},
        {"negative page size", Device(-1), defaultId, SequenceResult::BadPageSize},
        {"page beyond a message", Device(protocol::kMaxPageSize + 1), defaultId, SequenceResult::BadPageSize},
        {"negative boot area", boot(Device(), -4), defaultId, SequenceResult::BadPageSize},
        // 0x2000 bytes behind the boot area and the sum: one page more than 0x6000 holds, or just enough.
        {"beyond the flash", Device(256, 0x6000), defaultId, SequenceResult::TooLarge},
        {"just fits", Device(256, 0x6100), defaultId, SequenceResult::Succeeded},
        {"flash size unknown", Device(256, 0), defaultId, SequenceResult::Succeeded},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_Link = {};
        Load(Application(0x2000, kSam7Word, 0, c.imageProductId));
        EXPECT_EQ(Run(c.device), c.result);
        const bool ran = c.result == SequenceResult::Succeeded;
        EXPECT_EQ(m_Link.m_Sent.empty(), !ran);
        EXPECT_EQ(m_Link.m_BoardChanging, ran);
        if (ran) {
            EXPECT_EQ(m_Link.m_Sent.front()[6], c.device.ProductIdBytes()[0]) << "Prepare names the device";
        }
    }
}

struct FailureCase {
    const char* name;
    size_t failing;      // the message that is not released, from 0 (Prepare)
    SendOutcome outcome; // and why
    size_t stopAfter;    // or: the run is told to stop once this many messages went out
    bool stopInPause;
    SequenceResult result;
    RunFailure where;
};

TEST_F(Sequence, ARunThatFailsSaysWhereAndWhy) {
    constexpr size_t kNone = 1000;
    const FailureCase cases[] = {
        {"Prepare refused",
         0,
         {SendFailure::Refused, 3},
         0,
         false,
         SequenceResult::NoRelease,
         {RunStep::Prepare, 0, SendFailure::Refused, 3}},
        {"Begin stalls the line",
         1,
         {SendFailure::WriteStalled},
         0,
         false,
         SequenceResult::NoRelease,
         {RunStep::Begin, 0, SendFailure::WriteStalled}},
        {"page 2 unanswered",
         3,
         {SendFailure::NoAnswer},
         0,
         false,
         SequenceResult::NoRelease,
         {RunStep::Page, 2, SendFailure::NoAnswer}},
        {"the device goes at End",
         6,
         {SendFailure::LineGone},
         0,
         false,
         SequenceResult::DeviceGone,
         {RunStep::End, 0, SendFailure::LineGone}},
        {"page 4 finds the port closed",
         5,
         {SendFailure::NotOpen},
         0,
         false,
         SequenceResult::NoRelease,
         {RunStep::Page, 4, SendFailure::NotOpen}},
        {"stopped in the pause",
         kNone,
         {},
         0,
         true,
         SequenceResult::Stopped,
         {RunStep::Begin, 0, SendFailure::Stopped}},
        {"stopped after page 1",
         kNone,
         {},
         3,
         false,
         SequenceResult::Stopped,
         {RunStep::Page, 2, SendFailure::Stopped}},
        {"stopped after the last page",
         kNone,
         {},
         6,
         false,
         SequenceResult::Stopped,
         {RunStep::End, 0, SendFailure::Stopped}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_Link = {};
        m_Link.m_Answers[c.failing] = c.outcome;
        m_Link.m_StopAfter = c.stopAfter;
        m_Link.m_StopInPause = c.stopInPause;
        Load(Application(0x300, kSam7Word, 0));
        EXPECT_EQ(Run(Device()), c.result);
        EXPECT_EQ(m_Failure.step, c.where.step);
        EXPECT_EQ(m_Failure.page, c.where.page);
        EXPECT_EQ(m_Failure.why, c.where.why);
        EXPECT_EQ(m_Failure.refusal, c.where.refusal);
        // Nothing goes out after the message that failed, nor after a stop.
        const size_t last = std::min(
            {c.failing + 1, c.stopAfter == 0 ? kNone : c.stopAfter, c.stopInPause ? size_t{1} : kNone});
        EXPECT_EQ(m_Link.m_Sent.size(), last);
    }
}

// The bytes a run sends: whole pages from the end of the boot area to past the image and its byte sum.
TEST(BytesToSend, WholePagesCoverTheImageAndItsSum) {
    struct Case {
        int32_t imageLen, boot, page, expected;
    };
    const Case cases[] = {
        {0x4FFC, 0x4000, 256, 0x1000}, // the sum ends exactly at a page's end
        {0x4FFD, 0x4000, 256, 0x1100}, {0x4000, 0x4000, 1000, 1000}, {0x3FFC, 0x4000, 256, 0},
        {0x100, 0x4000, 256, 0},       {0x5000, 0x4000, 0, 0},       {0x5000, 0x4000, -4, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BytesToSend(c.imageLen, c.boot, c.page), c.expected)
            << c.imageLen << " " << c.boot << " " << c.page;
    }
}

} // namespace
