// Programming runs against the simulated device: what the sequence sends, how it ends, and what it refuses.
// Whole runs of both families, compared byte for byte, and runs a device refuses or hangs up in the middle of
// are the command line's end-to-end tests.
#include "protocol/MessageFrame.h"
#include "support/Firmware.h"
#include "support/LinkRig.h"
#include "support/PtyPair.h"

#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <thread>

using namespace brenwick;

namespace {

using Bytes = std::vector<uint8_t>;
using firmware::Application;
using firmware::kSam7Word;

// How many messages of the run were Program Control items of `phase`.
int CountPhase(const std::vector<Bytes>& messages, ProgramPhase phase) {
    int n = 0;
    for (const auto& m : messages) {
        n += m.size() == 10 && m[0] == 0x0A && m[1] == 0x00 && m[3] == 0x03 &&
             m[5] == static_cast<uint8_t>(phase);
    }
    return n;
}

class Programming : public ::testing::Test {
  protected:
    std::string WriteBin(size_t size, const Bytes& productId = {0x5A, 0xFF, 0xA5, 0x00}) {
        return m_Dir.Write("fw.bin", Application(size, kSam7Word, 0, productId));
    }

    // Opens the file, goes on line, reloads it stamped for the device and posts Program.
    static void Start(CLinkRig& rig, const std::string& path) {
        ASSERT_TRUE(rig.m_Doc.OnOpenDocument(path)) << rig.m_Doc.LastLoadResult().Describe();
        ASSERT_TRUE(rig.GoOnLine());
        ASSERT_TRUE(rig.m_Doc.ReloadImage()) << rig.m_Doc.LastLoadResult().Describe();
        rig.m_Doc.PostCommand(WorkerCommand::Program);
    }

    // The device's flash holds the stamped image from the end of the boot area, worked out independently.
    static void ExpectFlash(CLinkRig& rig, const Bytes& app, uint32_t infoOffset, size_t pageSize = 256) {
        const auto flash = rig.m_Device.Flash();
        EXPECT_EQ(flash, firmware::ExpectedFlash(app, infoOffset, flash.size(), pageSize));
    }

    CTempDir m_Dir;
};

TEST_F(Programming, ProgressCountsWholePagesAndTheSum) {
    // 1000 bytes behind the boot area with 256-byte pages: four pages, 25, 51, 76 and 102 percent. Each value
    // stands while the host waits for the page's release; a reader that stands for the panel's timer collects
    // every value it sees, so a busy machine that wakes the test late cannot make it miss or misread one.
    DeviceSimOptions options;
    options.replyDelayMs = 300;
    CLinkRig rig(options);
    Start(rig, WriteBin(1000)); // the file is loaded here, before the reader looks at it
    std::set<int32_t> seen;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            seen.insert(rig.m_Doc.Snapshot().progress);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 10000));
    // The next idle step drops the progress back to 0.
    EXPECT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().progress == 0; }, 5000));
    done = true;
    reader.join();
    EXPECT_EQ(seen, (std::set<int32_t>{0, 25, 51, 76, 102}));
}

struct RefusalCase {
    const char* name;
    int32_t flashSize;
    size_t appSize;
    Bytes productId;
    SequenceResult result;
    const char* shown; // the message the front end is asked to show, or ""
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedRuns : public Programming, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedRuns, NothingIsSent) {
    const RefusalCase& c = GetParam();
    DeviceSimOptions options;
    options.flashSize = c.flashSize;
    CLinkRig rig(options);
    std::string shown;
    rig.m_Doc.SetMessageCallback([&](const std::string& text) { shown = text; });
    Start(rig, WriteBin(c.appSize, c.productId));
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().lastSequence == c.result; }, 10000));
    EXPECT_EQ(shown, c.shown);
    const int prepared = CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::Prepare);
    EXPECT_EQ(prepared, c.result == SequenceResult::Succeeded ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Programming, RefusedRuns,
    ::testing::Values(
        RefusalCase{"another_product",
                    0x40000,
                    0x800,
                    {1, 2, 3, 4},
                    SequenceResult::ProductMismatch,
                    "Invalid .hex file for this Product"},
        // 0x2000 bytes behind a 0x4000-byte boot area, with the byte sum: one page more than 0x6000 holds.
        RefusalCase{
            "image_beyond_the_flash", 0x6000, 0x2000, {0x5A, 0xFF, 0xA5, 0}, SequenceResult::TooLarge, ""},
        RefusalCase{
            "image_that_just_fits", 0x6100, 0x2000, {0x5A, 0xFF, 0xA5, 0}, SequenceResult::Succeeded, ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(Programming, TheImageIsHeldWhileARunOrAPostedProgramNeedsIt) {
    DeviceSimOptions options;
    options.replyDelayMs = 5;
    CLinkRig rig(options);
    const auto path = WriteBin(0x2000);
    Start(rig, path);
    ASSERT_TRUE(rig.m_Device.WaitForMessages(rig.m_Device.ReceivedCount() + 4, 10000));
    // Another command posted mid-run does not let go of the image the run is sending.
    rig.m_Doc.PostCommand(WorkerCommand::Connect);
    EXPECT_TRUE(rig.m_Doc.IsImageInUse());
    const auto other = m_Dir.Write("other.bin", Application(0x100, kSam7Word, 0));
    EXPECT_FALSE(rig.m_Doc.LoadFirmware(other));
    EXPECT_EQ(rig.m_Doc.LastLoadResult().error, LoadError::ImageInUse);
    EXPECT_FALSE(rig.m_Doc.OnOpenDocument(other));
    EXPECT_FALSE(rig.m_Doc.ReloadImage());
    EXPECT_TRUE(rig.m_Doc.IsFileLoaded()) << "a refused reload must not unload the file";
    // The export reads the file into an image of its own: it works mid-run and leaves the run's alone.
    EXPECT_EQ(rig.m_Doc.MakeBin(m_Dir.Path("out.bin")).status, MakeBinStatus::Written);
    EXPECT_EQ(rig.m_Doc.Snapshot().device.flashSize, 0x40000) << "the export changed the geometry the run uses";
    // A second Program posted mid-run runs next, and the image stays held in between.
    rig.m_Doc.PostCommand(WorkerCommand::Program);
    ASSERT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 20000));
    EXPECT_TRUE(rig.m_Doc.IsImageInUse()) << "the image was let go while a Program still waited";
    EXPECT_TRUE(rig.m_Device.WaitForSessionsEnded(2, 20000)) << "the second Program was dropped";
    EXPECT_TRUE(WaitUntil([&] { return !rig.m_Doc.IsImageInUse(); }, 5000));
    ExpectFlash(rig, Application(0x2000, kSam7Word, 0), 0);
    EXPECT_TRUE(rig.m_Doc.LoadFirmware(other));
}

TEST_F(Programming, TheSnapshotHoldsTogetherDuringARun) {
    CLinkRig rig;
    Start(rig, WriteBin(0x8000));
    // From here on the test thread only waits: the reader stands for the front end's timer.
    std::atomic<bool> done{false};
    int torn = 0;
    int seenSending = 0;
    std::thread reader([&] {
        while (!done) {
            const DocSnapshot s = rig.m_Doc.Snapshot();
            torn += s.bytesSent > s.bytesToSend ||
                    (!s.device.targetName.empty() && s.device.targetName != "Brenwick SIM");
            seenSending += s.bytesSent > 0;
        }
    });
    EXPECT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 20000));
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(seenSending, 0) << "the reader never saw the run";
}

// A stop mid-run ends the sequence at once as Stopped, with no End sent, also when a write is blocked on a
// line that stopped taking bytes (at 1200 baud a page's write could wait minutes), and leaves nothing behind.
TEST_F(Programming, StoppingMidRunEndsTheSequenceAtOnce) {
    { CLinkRig warmUp; } // threads a sanitizer starts with the first ones of the process are not counted
    const size_t descriptors = OpenDescriptorCount();
    const size_t threads = ThreadCount();
    for (const bool stalled : {false, true}) {
        SCOPED_TRACE(stalled ? "stalled line" : "flowing line");
        DeviceSimOptions options;
        options.stallAfterBegin = stalled;
        options.pageSize = stalled ? protocol::kMaxPageSize : 256;
        CLinkRig rig(options, stalled ? 0 : 10);
        Start(rig, WriteBin(stalled ? 0x10000 : 0x30000));
        if (stalled) {
            ASSERT_TRUE(WaitUntil(
                [&] { return CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::Begin) > 0; }, 10000));
            std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the first page's write blocks
        } else {
            ASSERT_TRUE(rig.m_Device.WaitForMessages(rig.m_Device.ReceivedCount() + 20, 10000));
        }
        EXPECT_TRUE(rig.m_Doc.IsImageInUse());
        const auto stopped = std::chrono::steady_clock::now();
        rig.m_Doc.StopWorker();
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(5)) << "the stop hung";
        EXPECT_EQ(rig.m_Doc.Snapshot().lastSequence, SequenceResult::Stopped);
        const size_t after = rig.m_Device.ReceivedCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(rig.m_Device.ReceivedCount(), after) << "the sequence went on after the worker stopped";
        EXPECT_EQ(CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::End), 0);
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }, 2000)) << ThreadCount() << " threads";
}

// A Program still waiting behind the worker's idle handshake is dropped by a stop: nothing of it reaches the
// board, and the image is free again at once.
TEST_F(Programming, AStopDropsAProgramThatHasNotStarted) {
    DeviceSimOptions options;
    options.replyDelayMs = 300; // a handshake of eight messages keeps the worker busy for over two seconds
    CLinkRig rig(options);
    ASSERT_TRUE(rig.m_Doc.OnOpenDocument(WriteBin(0x800))) << rig.m_Doc.LastLoadResult().Describe();
    ASSERT_TRUE(rig.GoOnLine(10000));
    ASSERT_TRUE(rig.m_Doc.ReloadImage());
    const Bytes targetName = {0x04, 0x20, 0x01, 0x00}; // the handshake's first request
    const size_t seen = rig.m_Device.ReceivedCount();
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto messages = rig.m_Device.ReceivedMessages();
            return messages.size() > seen && messages.back() == targetName;
        },
        5000));
    rig.m_Doc.PostCommand(WorkerCommand::Program);
    EXPECT_TRUE(rig.m_Doc.StopRun());
    EXPECT_FALSE(rig.m_Doc.IsImageInUse());
    // The handshake ends and the next one starts: the dropped Program never ran.
    const size_t later = rig.m_Device.ReceivedCount();
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto messages = rig.m_Device.ReceivedMessages();
            return messages.size() > later + 7 && messages.back() == targetName;
        },
        10000));
    EXPECT_EQ(CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::Prepare), 0);
    EXPECT_EQ(rig.m_Doc.Snapshot().lastSequence, SequenceResult::NotRun);
}

// The operator stops a run: it ends between two messages as Stopped, with no End, while the worker and the
// link go on; the board reports the unfinished run, and the next run starts again from Prepare and programs
// it byte for byte. A line that stopped taking bytes does not hold the stop up.
TEST_F(Programming, AStoppedRunLeavesTheLinkUpAndTheNextRunStartsFromPrepare) {
    enum class When { PauseAfterPrepare, BetweenPages, StalledLine };
    for (const When when : {When::PauseAfterPrepare, When::BetweenPages, When::StalledLine}) {
        SCOPED_TRACE(static_cast<int>(when));
        DeviceSimOptions options;
        options.stallAfterBegin = when == When::StalledLine;
        options.pageSize = when == When::StalledLine ? protocol::kMaxPageSize : 256;
        CLinkRig rig(options);
        const Bytes app = Application(0x8000, kSam7Word, 0);
        Start(rig, m_Dir.Write("fw.bin", app));
        const auto started = [&](ProgramPhase phase) {
            return WaitUntil([&] { return CountPhase(rig.m_Device.ReceivedMessages(), phase) > 0; }, 10000);
        };
        ASSERT_TRUE(started(when == When::PauseAfterPrepare ? ProgramPhase::Prepare : ProgramPhase::Begin));
        if (when == When::BetweenPages) {
            ASSERT_TRUE(WaitUntil([&] { return rig.m_Device.PagesReceived() >= 5; }, 10000));
        }
        EXPECT_TRUE(rig.m_Doc.Snapshot().runActive);
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_TRUE(rig.m_Doc.StopRun());
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2))
            << "the stop waited out a reply";
        const DocSnapshot after = rig.m_Doc.Snapshot();
        EXPECT_FALSE(after.imageInUse);
        EXPECT_FALSE(after.runActive);
        EXPECT_EQ(after.lastSequence, SequenceResult::Stopped);
        EXPECT_EQ(after.runFailure.why, SendFailure::Stopped);
        EXPECT_TRUE(rig.m_Doc.IsWorkerRunning());
        EXPECT_TRUE(rig.m_Doc.IsPortOpen());
        const size_t sent = rig.m_Device.ReceivedCount();
        EXPECT_EQ(CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::End), 0);
        if (when == When::StalledLine) {
            continue; // that device reads nothing more
        }
        // The device is left in its run: the idle poll reports it, then a new run programs it.
        EXPECT_TRUE(WaitUntil([&] { return rig.m_Device.ReceivedCount() > sent; }, 3000))
            << "the link stopped";
        EXPECT_TRUE(
            WaitUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::Programming; }, 3000));
        ASSERT_TRUE(rig.m_Doc.ReloadImage());
        rig.m_Doc.PostCommand(WorkerCommand::Program);
        ASSERT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 20000));
        ASSERT_TRUE(WaitUntil([&] { return !rig.m_Doc.IsImageInUse(); }, 3000));
        EXPECT_EQ(CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::Prepare), 2);
        EXPECT_EQ(rig.m_Doc.Snapshot().lastSequence, SequenceResult::Succeeded);
        ExpectFlash(rig, app, 0);
    }
    CLinkRig idle;
    EXPECT_TRUE(idle.m_Doc.StopRun()) << "with no run there is nothing to wait for";
}

} // namespace
