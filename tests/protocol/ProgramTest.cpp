// Programming runs against the simulated device: the device's flash must end up equal to the stamped image.
#include "support/LinkRig.h"
#include "protocol/MessageFrame.h"
#include "support/PtyPair.h"
#include "support/DocAccess.h"
#include "support/Firmware.h"
#include "support/HexText.h"
#include "support/TempDir.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace brenwick::serial;

using namespace brenwick;

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kDefaultId = {0x5A, 0xFF, 0xA5, 0x00};
using firmware::Application;

int CountOf(const std::vector<Bytes>& messages, MessageType type) {
    int n = 0;
    for (const auto& m : messages) {
        n +=
            m.size() >= 2 && frame::TypeOf(m.data()) == type && frame::HeaderWord(m.data()) != 0x0002 ? 1 : 0;
    }
    return n;
}

int CountPhase(const std::vector<Bytes>& messages, ProgramPhase phase) {
    int n = 0;
    for (const auto& m : messages) {
        n += m.size() == 10 && m[0] == 0x0A && m[1] == 0x00 && m[2] == 0x00 && m[3] == 0x03 &&
                     m[5] == static_cast<uint8_t>(phase)
                 ? 1
                 : 0;
    }
    return n;
}

class Programming : public ::testing::Test {
  protected:
    void SetUp() override { g_ProjectFilePath.clear(); }
    void TearDown() override { g_ProjectFilePath.clear(); }

    // Opens the file, goes on line, reloads it stamped for the device and posts Program.
    void Start(CLinkRig& rig, const std::string& path) {
        ASSERT_TRUE(rig.m_Doc.OnOpenDocument(path)) << rig.m_Doc.LastLoadResult().Describe();
        ASSERT_TRUE(rig.GoOnLine());
        ASSERT_TRUE(rig.m_Doc.ReloadImage()) << rig.m_Doc.LastLoadResult().Describe();
        rig.m_Doc.PostCommand(WorkerCommand::Program);
    }

    // After a run the device's flash holds every page the host sent, which is the stamped image.
    static void ExpectFlashEqualsImage(CLinkRig& rig) {
        const auto flash = rig.m_Device.Flash();
        const CBrenwickDoc& doc = rig.m_Doc;
        const int32_t boot = doc.m_BootLength;
        const int32_t page = doc.m_PageSize;
        const int32_t end = doc.m_Firmware.m_ImageLen + 4;
        const int32_t pages = (end - boot + page - 1) / page;
        for (int32_t o = boot; o < boot + pages * page; ++o) {
            ASSERT_EQ(flash[static_cast<size_t>(o)], doc.m_Firmware.ByteAt(o)) << "flash offset " << o;
        }
        EXPECT_EQ(flash[static_cast<size_t>(boot) - 1], 0xFF) << "the boot area was written";
    }

    CTempDir m_Dir;
};

struct FamilyCase {
    const char* name;
    bool hex;
    uint32_t firstWord;
    uint32_t infoOffset;
    size_t size;
};
void PrintTo(const FamilyCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class ProgrammingFamilies : public Programming, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(ProgrammingFamilies, TheDevicesFlashEqualsTheStampedImage) {
    const FamilyCase& c = GetParam();
    const Bytes app = Application(c.size, c.firstWord, c.infoOffset, kDefaultId);
    const auto path =
        c.hex ? m_Dir.Write("fw.hex", hex_text::FileFor(0x104000, app)) : m_Dir.Write("fw.bin", app);
    CLinkRig rig;
    Start(rig, path);
    ASSERT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 20000));
    // The device's verdict arrives with the next poll: 14, shown as Connected.
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.m_LinkState == LinkState::Connected; }, 5000));
    EXPECT_EQ(rig.m_Device.Status(), 14);
    EXPECT_EQ(rig.m_Doc.LastSequenceResult(), SequenceResult::Succeeded);
    ExpectFlashEqualsImage(rig);
    // The stamp the device checked is the one the host wrote.
    const auto flash = rig.m_Device.Flash();
    const uint32_t at = 0x4000 + c.infoOffset + 0x3C;
    EXPECT_EQ(frame::GetU32(&flash[at]), static_cast<uint32_t>(rig.m_Doc.m_Firmware.m_ImageLen));
    // Pages go out in ascending order from the end of the boot area, the first with the family's flash base.
    const auto messages = rig.m_Device.ReceivedMessages();
    uint32_t expectedAddress = rig.m_Doc.m_Firmware.m_FlashBase + 0x4000;
    for (const auto& m : messages) {
        if (frame::TypeOf(m.data()) == MessageType::DataItem) {
            ASSERT_EQ(frame::GetU32(&m[2]), expectedAddress);
            expectedAddress += 256;
        }
    }
    EXPECT_EQ(CountPhase(messages, ProgramPhase::Prepare), 1);
    EXPECT_EQ(CountPhase(messages, ProgramPhase::Begin), 1);
    EXPECT_EQ(CountPhase(messages, ProgramPhase::End), 1);
}

INSTANTIATE_TEST_SUITE_P(Families, ProgrammingFamilies,
                         ::testing::Values(FamilyCase{"sam7_bin", false, 0xE59FF018, 0, 0x2345},
                                           FamilyCase{"sam7_hex", true, 0xE59FF018, 0, 0x1000},
                                           FamilyCase{"cortex_hex", true, 0x20001000, 0x100, 0x3001},
                                           FamilyCase{"cortex_bin", false, 0x20002000, 0x100, 0x600}),
                         [](const ::testing::TestParamInfo<FamilyCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(Programming, ProgressCountsWholePagesAndTheSum) {
    // 1000 bytes behind the boot area with 256-byte pages: four pages, 25, 51, 76 and 102 percent.
    DeviceSimOptions options;
    options.replyDelayMs = 300; // the host waits for each release, so the count can be read meanwhile
    CLinkRig rig(options);
    Start(rig, m_Dir.Write("fw.bin", Application(1000, 0xE59FF018, 0, kDefaultId)));
    const size_t before = rig.m_Device.ReceivedCount();
    const int32_t expected[] = {25, 51, 76, 102};
    for (int page = 1; page <= 4; ++page) {
        // Prepare and Begin, then the pages.
        ASSERT_TRUE(rig.m_Device.WaitForMessages(before + 2 + static_cast<size_t>(page), 10000));
        EXPECT_EQ(rig.m_Doc.GetProgress(), expected[page - 1]) << "page " << page;
    }
    ASSERT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 10000));
    // The next idle step drops the progress back to 0.
    EXPECT_TRUE(WaitUntil([&] { return rig.m_Doc.GetProgress() == 0; }, 5000));
}

TEST_F(Programming, ARefusedThirdPageStopsTheRunWithoutEnd) {
    DeviceSimOptions options;
    options.nakPage = 3;
    CLinkRig rig(options);
    Start(rig, m_Dir.Write("fw.bin", Application(0x2000, 0xE59FF018, 0, kDefaultId)));
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.m_LinkState == LinkState::ProgrammingError; }, 10000));
    EXPECT_EQ(rig.m_Doc.LastSequenceResult(), SequenceResult::NoRelease);
    const auto messages = rig.m_Device.ReceivedMessages();
    EXPECT_EQ(CountOf(messages, MessageType::DataItem), 3);
    EXPECT_EQ(CountPhase(messages, ProgramPhase::End), 0);
}

TEST_F(Programming, AHangUpMidRunFailsCleanly) {
    DeviceSimOptions options;
    options.hangUpPage = 5;
    CLinkRig rig(options);
    Start(rig, m_Dir.Write("fw.bin", Application(0x3000, 0xE59FF018, 0, kDefaultId)));
    ASSERT_TRUE(rig.m_Device.WaitForHangUp(10000));
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.m_LinkState == LinkState::ProgrammingError; }, 5000));
    EXPECT_EQ(rig.m_Doc.LastSequenceResult(), SequenceResult::DeviceGone);
    // The keep-alive then finds no device, and nothing hangs or crashes on the way.
    EXPECT_TRUE(WaitUntil([&] { return rig.m_Doc.m_LinkState == LinkState::NotConnected; }, 5000));
    rig.m_Doc.PostCommand(WorkerCommand::Disconnect);
    EXPECT_TRUE(WaitUntil([&] { return rig.m_Doc.m_LinkState == LinkState::OffLine; }, 5000));
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
    *os << c.name; // test listings show the case, not its bytes
}

class RefusedRuns : public Programming, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedRuns, NothingIsSent) {
    const RefusalCase& c = GetParam();
    DeviceSimOptions options;
    options.flashSize = c.flashSize;
    CLinkRig rig(options);
    std::string shown;
    rig.m_Doc.SetMessageCallback([&](const std::string& text) { shown = text; });
    Start(rig, m_Dir.Write("fw.bin", Application(c.appSize, 0xE59FF018, 0, c.productId)));
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.LastSequenceResult() == c.result; }, 10000));
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
        RefusalCase{"image_beyond_the_flash", 0x6000, 0x2000, kDefaultId, SequenceResult::TooLarge, ""},
        RefusalCase{"image_that_just_fits", 0x6100, 0x2000, kDefaultId, SequenceResult::Succeeded, ""}),
    [](const ::testing::TestParamInfo<RefusalCase>& p) { return std::string(p.param.name); });

TEST_F(Programming, AProgramPostedDuringARunRunsNextWithTheImageHeld) {
    DeviceSimOptions options;
    options.replyDelayMs = 5;
    CLinkRig rig(options);
    Start(rig, m_Dir.Write("fw.bin", Application(0x2000, 0xE59FF018, 0, kDefaultId)));
    ASSERT_TRUE(rig.m_Device.WaitForMessages(rig.m_Device.ReceivedCount() + 4, 10000));
    rig.m_Doc.PostCommand(WorkerCommand::Program);
    ASSERT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 20000));
    EXPECT_TRUE(rig.m_Doc.IsImageInUse()) << "the image was let go while a Program still waited";
    EXPECT_TRUE(rig.m_Device.WaitForSessionsEnded(2, 20000)) << "the second Program was dropped";
    EXPECT_TRUE(WaitUntil([&] { return !rig.m_Doc.IsImageInUse(); }, 5000));
    ExpectFlashEqualsImage(rig);
}

TEST_F(Programming, StoppingWakesAWriteThatAStalledLineHolds) {
    { CLinkRig warmUp; } // threads a sanitizer starts with the first ones of the process are not counted
    const size_t descriptors = OpenDescriptorCount();
    const size_t threads = ThreadCount();
    {
        DeviceSimOptions options;
        options.stallAfterBegin = true;
        options.pageSize = protocol::kMaxPageSize;
        // At 1200 baud a page's write may wait more than two minutes: only the stop can end it this soon.
        CLinkRig rig(options, 0);
        Start(rig, m_Dir.Write("fw.bin", Application(0x10000, 0xE59FF018, 0, kDefaultId)));
        ASSERT_TRUE(WaitUntil(
            [&] { return CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::Begin); }, 10000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the first page's write blocks
        EXPECT_TRUE(rig.m_Doc.IsImageInUse());
        const auto stopped = std::chrono::steady_clock::now();
        rig.m_Doc.StopWorker();
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(5)) << "the stop hung";
        EXPECT_EQ(rig.m_Doc.LastSequenceResult(), SequenceResult::Stopped);
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }, 2000)) << ThreadCount() << " threads";
}

TEST_F(Programming, TheSnapshotHoldsTogetherDuringARun) {
    CLinkRig rig;
    Start(rig, m_Dir.Write("fw.bin", Application(0x8000, 0xE59FF018, 0, kDefaultId)));
    // From here on the test thread only waits: the reader stands for the front end's timer.
    std::atomic<bool> done{false};
    int torn = 0;
    int seenSending = 0;
    std::thread reader([&] {
        while (!done) {
            const DocSnapshot s = rig.m_Doc.Snapshot();
            torn += s.bytesSent > s.bytesToSend || (!s.targetName.empty() && s.targetName != "Brenwick SIM");
            seenSending += s.bytesSent > 0;
        }
    });
    EXPECT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 20000));
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(seenSending, 0) << "the reader never saw the run";
}

TEST_F(Programming, TheImageCannotChangeWhileItIsBeingSent) {
    CLinkRig rig;
    const auto path = m_Dir.Write("fw.bin", Application(0x4000, 0xE59FF018, 0, kDefaultId));
    Start(rig, path);
    const auto other = m_Dir.Write("other.bin", Application(0x100, 0xE59FF018, 0, kDefaultId));
    EXPECT_TRUE(rig.m_Doc.IsImageInUse());
    EXPECT_FALSE(rig.m_Doc.LoadFirmware(other));
    EXPECT_EQ(rig.m_Doc.LastLoadResult().error, LoadError::ImageInUse);
    EXPECT_FALSE(rig.m_Doc.OnOpenDocument(other));
    EXPECT_FALSE(rig.m_Doc.ReloadImage());
    EXPECT_EQ(rig.m_Doc.m_FileLoaded, 1) << "a refused reload must not unload the file";
    g_ProjectFilePath = path;
    EXPECT_EQ(rig.m_Doc.MakeBin(m_Dir.Path("out.bin")).status, MakeBinStatus::LoadFailed);
    EXPECT_EQ(rig.m_Doc.m_BootLength, 0x4000);
    EXPECT_EQ(rig.m_Doc.m_FlashSize, 0x40000) << "the export changed the geometry the run uses";

    ASSERT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 20000));
    ASSERT_TRUE(WaitUntil([&] { return !rig.m_Doc.IsImageInUse(); }, 5000));
    ExpectFlashEqualsImage(rig);
    EXPECT_TRUE(rig.m_Doc.LoadFirmware(other));
}

TEST_F(Programming, StoppingTheWorkerMidRunEndsItAtOnce) {
    CLinkRig rig;
    Start(rig, m_Dir.Write("fw.bin", Application(0x30000, 0xE59FF018, 0, kDefaultId)));
    const size_t before = rig.m_Device.ReceivedCount();
    ASSERT_TRUE(rig.m_Device.WaitForMessages(before + 20, 10000));
    rig.m_Doc.StopWorker();
    EXPECT_EQ(rig.m_Doc.LastSequenceResult(), SequenceResult::Stopped);
    const size_t after = rig.m_Device.ReceivedCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(rig.m_Device.ReceivedCount(), after) << "the sequence went on after the worker stopped";
    EXPECT_EQ(CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::End), 0);
}

// The sequence run by hand on this thread, as the worker runs it.
class ManualSequence : public Programming {
  protected:
    void Open(CLinkRig& rig, bool handshake) {
        CDocAccess::OpenLink(rig.m_Doc);
        ASSERT_TRUE(rig.m_Doc.m_Port.IsOpen());
        if (handshake) {
            ASSERT_TRUE(CDocAccess::Handshake(rig.m_Doc));
        }
    }
};

TEST_F(ManualSequence, ImpossiblePageSizesFailAtOnce) {
    for (int32_t pageSize : {0, -1, 8186, 100000}) {
        CLinkRig rig;
        Open(rig, true);
        ASSERT_TRUE(
            rig.m_Doc.OnOpenDocument(m_Dir.Write("fw.bin", Application(0x400, 0xE59FF018, 0, kDefaultId))));
        rig.m_Doc.m_PageSize = pageSize;
        EXPECT_FALSE(CDocAccess::ProgramDevice(rig.m_Doc));
        EXPECT_EQ(rig.m_Doc.LastSequenceResult(), SequenceResult::BadPageSize) << pageSize;
        EXPECT_EQ(CountPhase(rig.m_Device.ReceivedMessages(), ProgramPhase::Prepare), 0);
    }
}

TEST_F(ManualSequence, WithoutAProductIdReplyAnyProductIsProgrammed) {
    CLinkRig rig;
    Open(rig, false); // Connect only: no ProductId reply since
    ASSERT_TRUE(
        rig.m_Doc.OnOpenDocument(m_Dir.Write("fw.bin", Application(0x300, 0xE59FF018, 0, {9, 9, 9, 9}))));
    rig.m_Doc.m_FlashSize = 0x40000;
    rig.m_Doc.m_BootLength = 0x4000;
    rig.m_Doc.m_PageSize = 256;
    ASSERT_TRUE(rig.m_Doc.LoadFirmware(g_ProjectFilePath));
    EXPECT_EQ(rig.m_Doc.m_ProductIdPending, 1);
    EXPECT_TRUE(CDocAccess::ProgramDevice(rig.m_Doc));
    EXPECT_EQ(rig.m_Doc.GetProgress(), (0x400 * 100) / 0x300);
    ASSERT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 5000));
    EXPECT_EQ(rig.m_Device.Status(), 14);
}

TEST_F(ManualSequence, TheLastPageMayReachPastTheImageAndCarriesErasedBytes) {
    // 0x3BFFC bytes: the image and its sum fill the buffer exactly; 1000-byte pages end 240 bytes beyond it.
    DeviceSimOptions options;
    options.flashSize = 0x80000;
    options.pageSize = 1000;
    CLinkRig rig(options);
    Open(rig, true);
    ASSERT_TRUE(
        rig.m_Doc.OnOpenDocument(m_Dir.Write("fw.bin", Application(0x3BFFC, 0xE59FF018, 0, kDefaultId))));
    ASSERT_TRUE(rig.m_Doc.ReloadImage());
    ASSERT_EQ(rig.m_Doc.m_Firmware.m_ImageLen, 0x3FFFC);
    ASSERT_TRUE(CDocAccess::ProgramDevice(rig.m_Doc));
    const auto messages = rig.m_Device.ReceivedMessages();
    const Bytes* last = nullptr;
    for (const auto& m : messages) {
        if (frame::TypeOf(m.data()) == MessageType::DataItem) {
            last = &m;
        }
    }
    ASSERT_NE(last, nullptr);
    ASSERT_EQ(last->size(), 1006u);
    const uint32_t offset = frame::GetU32(last->data() + 2) - 0x100000;
    EXPECT_EQ(offset, 0x4000u + 245 * 1000);
    for (size_t i = 0; i < 1000; ++i) {
        const uint32_t at = offset + static_cast<uint32_t>(i);
        EXPECT_EQ((*last)[6 + i], at < 0x40000 ? rig.m_Doc.m_Firmware.m_Image[at] : 0xFF) << "byte " << i;
    }
    ASSERT_TRUE(rig.m_Device.WaitForSessionsEnded(1, 5000));
    EXPECT_EQ(rig.m_Device.Status(), 14);
}

TEST_F(ManualSequence, APortThatIsClosedFailsTheFirstMessage) {
    CLinkRig rig;
    ASSERT_TRUE(
        rig.m_Doc.OnOpenDocument(m_Dir.Write("fw.bin", Application(0x300, 0xE59FF018, 0, kDefaultId))));
    rig.m_Doc.m_PageSize = 256;
    EXPECT_FALSE(CDocAccess::ProgramDevice(rig.m_Doc));
    EXPECT_EQ(rig.m_Device.ReceivedCount(), 0u);
}

} // namespace
