// The simulated device spoken to over its real pseudo-terminal, byte for byte, the way a host does.

#include "devsim/SimulatedDevice.h"

#include "support/HostMessages.h"
#include "support/HostPort.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace brenwick;

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kDefaultId[4] = {0x5A, 0xFF, 0xA5, 0x00};

struct Fixture {
    explicit Fixture(DeviceSimOptions options = {}) : device(std::move(options)) {
        std::string error;
        started = device.Start(&error);
        EXPECT_TRUE(started) << error;
        host = std::make_unique<CHostPort>(device.PortPath());
        EXPECT_TRUE(host->IsOpen());
    }
    CSimulatedDevice device;
    bool started = false;
    std::unique_ptr<CHostPort> host;
};

Bytes StatusOverLine(CHostPort& host) {
    return host.Exchange(hostmsg::Request(0x0005));
}

// Sends a whole programming run and checks each answer; returns the End's answer.
void RunSession(CHostPort& host, const std::vector<Bytes>& pages) {
    ASSERT_EQ(host.Exchange(hostmsg::ProgramControl(hostmsg::kPrepare, kDefaultId)), hostmsg::kEmptyAck);
    ASSERT_EQ(StatusOverLine(host), (Bytes{0x05, 0x00, 0x05, 0x00, 15}));
    ASSERT_EQ(host.Exchange(hostmsg::ProgramControl(hostmsg::kBegin, kDefaultId)), hostmsg::kEmptyAck);
    ASSERT_EQ(StatusOverLine(host), (Bytes{0x05, 0x00, 0x05, 0x00, 16}));
    for (size_t i = 0; i < pages.size(); ++i) {
        ASSERT_EQ(host.Exchange(pages[i]), hostmsg::kPageAccepted) << "page " << i + 1;
    }
    ASSERT_EQ(host.Exchange(hostmsg::ProgramControl(hostmsg::kEnd, kDefaultId)), hostmsg::kEmptyAck);
}

} // namespace

TEST(DevsimDevice, AnswersEveryIdentificationRequestWithItsLayout) {
    DeviceSimOptions options;
    options.name = "Unit 7";
    options.serial = "SN-42";
    options.productId[0] = 0x12;
    options.productId[1] = 0x34;
    options.productId[2] = 0x56;
    options.productId[3] = 0x78;
    options.bootRev = 0x012C;
    options.flashRev = 0x00C8;
    options.auxWord = 0xBEEF;
    options.flashSize = 0x20000;
    options.pageSize = 128;
    options.bootLength = 0x2000;
    Fixture f(options);

    struct Case {
        const char* what;
        Bytes request;
        Bytes reply;
    };
    const Case cases[] = {
        {"target name",
         {0x04, 0x20, 0x01, 0x00},
         {0x0B, 0x00, 0x01, 0x00, 'U', 'n', 'i', 't', ' ', '7', 0x00}},
        {"aux word", {0x04, 0x20, 0x03, 0x00}, {0x06, 0x00, 0x03, 0x00, 0xEF, 0xBE}},
        {"boot revision", {0x05, 0x20, 0x04, 0x00, 0x00}, {0x07, 0x00, 0x04, 0x00, 0x00, 0x2C, 0x01}},
        {"flash revision", {0x05, 0x20, 0x04, 0x00, 0x01}, {0x07, 0x00, 0x04, 0x00, 0x01, 0xC8, 0x00}},
        {"revision, unknown parameter",
         {0x05, 0x20, 0x04, 0x00, 0x07},
         {0x07, 0x00, 0x04, 0x00, 0x07, 0x00, 0x00}},
        {"product id", {0x04, 0x20, 0x09, 0x00}, {0x08, 0x00, 0x09, 0x00, 0x12, 0x34, 0x56, 0x78}},
        {"serial number", {0x04, 0x20, 0x02, 0x00}, {0x0A, 0x00, 0x02, 0x00, 'S', 'N', '-', '4', '2', 0x00}},
        {"flash geometry",
         {0x05, 0x20, 0x02, 0x03, 0x00},
         {0x11, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00,
          0x00}},
        {"status, ready", {0x04, 0x20, 0x05, 0x00}, {0x05, 0x00, 0x05, 0x00, 0x00}},
        {"unknown item", {0x04, 0x20, 0x34, 0x12}, {0x04, 0x00, 0x34, 0x12}},
        {"other control item", {0x06, 0x00, 0x77, 0x00, 0x01, 0x02}, {0x02, 0x00}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(f.host->Exchange(c.request), c.reply) << c.what;
    }
    EXPECT_EQ(f.device.ReceivedCount(), std::size(cases));
}

TEST(DevsimDevice, DefaultGeometryIsA256KiBDeviceWith256BytePages) {
    Fixture f;
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0302, 0)),
              (Bytes{0x11, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40,
                     0x00, 0x00}));
}

TEST(DevsimDevice, MessagesInOneWriteAndSplitMessagesAreEachAnswered) {
    Fixture f;
    Bytes both = hostmsg::Request(0x0005);
    const Bytes second = hostmsg::Request(0x0009);
    both.insert(both.end(), second.begin(), second.end());
    f.host->Write(both);
    EXPECT_EQ(f.host->ReadMessage(2000), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
    EXPECT_EQ(f.host->ReadMessage(2000), (Bytes{0x08, 0x00, 0x09, 0x00, 0x5A, 0xFF, 0xA5, 0x00}));

    // One byte at a time, each in its own write after the device has seen the previous one.
    const Bytes request = hostmsg::Request(0x0004, 1);
    for (size_t i = 0; i + 1 < request.size(); ++i) {
        f.host->Write({request[i]});
        ASSERT_TRUE(f.host->StaysQuiet(30)) << "answered after " << i + 1 << " bytes";
    }
    f.host->Write({request.back()});
    EXPECT_EQ(f.host->ReadMessage(2000), (Bytes{0x07, 0x00, 0x04, 0x00, 0x01, 100, 0x00}));
    const auto received = f.device.ReceivedMessages();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[2], request);
}

class DevsimProgrammingRun : public ::testing::TestWithParam<uint8_t> {};

TEST_P(DevsimProgrammingRun, StoresEveryPageAndReportsSuccess) {
    const uint8_t family = GetParam();
    const auto out = std::filesystem::temp_directory_path() /
                     ("devsim_flash_" + std::to_string(::getpid()) + "_" + std::to_string(family) + ".bin");
    DeviceSimOptions options;
    options.flashOut = out.string();
    Fixture f(options);
    // 1000 bytes of application: four pages of 256, the last one carrying the sum and erased filler.
    const auto image = hostmsg::MakeStampedImage(family, 0x40000, 0x4000, 1000);
    const auto pages = hostmsg::Pages(image, 256);
    ASSERT_EQ(pages.size(), 4u);
    RunSession(*f.host, pages);
    EXPECT_EQ(StatusOverLine(*f.host), (Bytes{0x05, 0x00, 0x05, 0x00, 14}));
    EXPECT_EQ(f.device.PagesReceived(), 4);

    Bytes expected(0x40000, 0xFF);
    std::copy(image.bytes.begin() + 0x4000, image.bytes.begin() + 0x4000 + 4 * 256,
              expected.begin() + 0x4000);
    const Bytes flash = f.device.Flash();
    ASSERT_EQ(flash.size(), expected.size());
    EXPECT_TRUE(flash == expected) << "flash differs from the pages sent";

    std::ifstream file(out, std::ios::binary);
    const Bytes written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(written == expected) << "the flash file differs from the flash";
    std::filesystem::remove(out);
}

INSTANTIATE_TEST_SUITE_P(Families, DevsimProgrammingRun, ::testing::Values(uint8_t{0xE5}, uint8_t{0x20}),
                         [](const ::testing::TestParamInfo<uint8_t>& param) {
                             return param.param == 0xE5 ? std::string("Sam7") : std::string("CortexM");
                         });

TEST(DevsimDevice, EndReportsErrorForEveryFaultOfTheStamp) {
    struct Case {
        const char* what;
        size_t offset; // image byte to change before sending
        uint8_t value;
    };
    const Case cases[] = {
        {"wrong sum", 0x4000 + 1000, 0x00}, // the first byte of the stored sum
        {"changed data byte", 0x4000 + 200, 0x5A},
        {"unknown family", 0x4003, 0x7F},
        {"length word beyond the flash", 0x4000 + 0x3C + 2, 0x40},
    };
    for (const Case& c : cases) {
        Fixture f;
        auto image = hostmsg::MakeStampedImage(0xE5, 0x40000, 0x4000, 1000);
        image.bytes[c.offset] =
            static_cast<uint8_t>(image.bytes[c.offset] == c.value ? c.value + 1 : c.value);
        RunSession(*f.host, hostmsg::Pages(image, 256));
        EXPECT_EQ(StatusOverLine(*f.host), (Bytes{0x05, 0x00, 0x05, 0x00, 128})) << c.what;
    }
}

TEST(DevsimDevice, EndWithoutBeginIsAnError) {
    Fixture f;
    EXPECT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kEnd, kDefaultId)), hostmsg::kEmptyAck);
    EXPECT_EQ(f.device.Status(), 128);
}

TEST(DevsimDevice, RejectsPagesOutsideASessionOrOutsideTheFlash) {
    DeviceSimOptions options;
    options.flashSize = 0x8000;
    Fixture f(options);
    const Bytes page(256, 0x11);
    EXPECT_EQ(f.host->Exchange(hostmsg::DataItem(0x104000, page)), (Bytes{0x03, 0x60, 0x02}))
        << "before Begin";
    ASSERT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kPrepare, kDefaultId)), hostmsg::kEmptyAck);
    ASSERT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kBegin, kDefaultId)), hostmsg::kEmptyAck);

    struct Case {
        const char* what;
        uint32_t address;
        Bytes reply;
    };
    const Case cases[] = {
        {"last page of a SAM7 flash", 0x100000 + 0x8000 - 256, {0x03, 0x60, 0x00}},
        {"last page of a Cortex-M flash", 0x8000 - 256, {0x03, 0x60, 0x00}},
        {"reaching one byte past the end", 0x100000 + 0x8000 - 255, {0x03, 0x60, 0x03}},
        {"wholly past the end", 0x100000 + 0x9000, {0x03, 0x60, 0x03}},
        {"top of the address space", 0xFFFFFF80, {0x03, 0x60, 0x03}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(f.host->Exchange(hostmsg::DataItem(c.address, page)), c.reply) << c.what;
    }
    const Bytes flash = f.device.Flash();
    EXPECT_EQ(flash[0x8000 - 256], 0x11);
    EXPECT_EQ(flash[0x8000 - 1], 0x11);
    EXPECT_EQ(flash[0x8000 - 257], 0xFF);
    EXPECT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kEnd, kDefaultId)), hostmsg::kEmptyAck);
    EXPECT_EQ(f.device.Status(), 128) << "rejected pages make the run fail";
}

TEST(DevsimDevice, NakPageIsRefusedAndFailsTheRun) {
    DeviceSimOptions options;
    options.nakPage = 2;
    Fixture f(options);
    const auto image = hostmsg::MakeStampedImage(0xE5, 0x40000, 0x4000, 1000);
    const auto pages = hostmsg::Pages(image, 256);
    ASSERT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kPrepare, kDefaultId)), hostmsg::kEmptyAck);
    ASSERT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kBegin, kDefaultId)), hostmsg::kEmptyAck);
    const Bytes expected[] = {{0x03, 0x60, 0x00}, {0x03, 0x60, 0x01}, {0x03, 0x60, 0x00}, {0x03, 0x60, 0x00}};
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(f.host->Exchange(pages[i]), expected[i]) << "page " << i + 1;
    }
    EXPECT_EQ(f.device.Flash()[0x4000 + 256], 0xFF) << "a refused page is not written";
    EXPECT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kEnd, kDefaultId)), hostmsg::kEmptyAck);
    EXPECT_EQ(StatusOverLine(*f.host), (Bytes{0x05, 0x00, 0x05, 0x00, 128}));

    // The count starts again at the next Begin, so a second run meets the same refusal.
    ASSERT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kBegin, kDefaultId)), hostmsg::kEmptyAck);
    EXPECT_EQ(f.host->Exchange(pages[0]), hostmsg::kPageAccepted);
    EXPECT_EQ(f.host->Exchange(pages[1]), (Bytes{0x03, 0x60, 0x01}));
}

TEST(DevsimDevice, HangUpPageClosesTheLineWithoutAnswer) {
    DeviceSimOptions options;
    options.hangUpPage = 3;
    Fixture f(options);
    const auto pages = hostmsg::Pages(hostmsg::MakeStampedImage(0x20, 0x40000, 0x4000, 1000), 256);
    ASSERT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kPrepare, kDefaultId)), hostmsg::kEmptyAck);
    ASSERT_EQ(f.host->Exchange(hostmsg::ProgramControl(hostmsg::kBegin, kDefaultId)), hostmsg::kEmptyAck);
    EXPECT_EQ(f.host->Exchange(pages[0]), hostmsg::kPageAccepted);
    EXPECT_EQ(f.host->Exchange(pages[1]), hostmsg::kPageAccepted);
    f.host->Write(pages[2]);
    EXPECT_TRUE(f.host->SeesHangUp(3000));
    EXPECT_TRUE(f.device.WaitForHangUp(3000));
    EXPECT_TRUE(f.device.HungUp());
    EXPECT_EQ(f.device.ReceivedCount(), 5u);
}

TEST(DevsimDevice, SilentDeviceRecordsButAnswersNothing) {
    DeviceSimOptions options;
    options.silent = true;
    Fixture f(options);
    f.host->Write(hostmsg::Request(0x0001));
    ASSERT_TRUE(f.device.WaitForMessages(1, 2000));
    EXPECT_TRUE(f.host->StaysQuiet(300));
    EXPECT_EQ(f.device.ReceivedMessages()[0], hostmsg::Request(0x0001));

    f.device.SetSilent(false);
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
}

TEST(DevsimDevice, PartialMessageIsDroppedAfterSilence) {
    Fixture f;
    // A header announcing 16 bytes, and only one body byte: were it kept, the next request would be
    // swallowed as the rest of it.
    f.host->Write({0x10, 0x20, 0x01});
    EXPECT_TRUE(f.host->StaysQuiet(1400));
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
    EXPECT_EQ(f.device.ReceivedMessages(), std::vector<Bytes>{hostmsg::Request(0x0005)});
}

TEST(DevsimDevice, JunkMessagesAreIgnoredAndTheDeviceKeepsAnswering) {
    Fixture f;
    const std::vector<Bytes> junk = {
        {0x03, 0x40, 0xAA},                   // unused type 2
        {0x03, 0x60, 0x00},                   // an acknowledgement, from the host
        {0x02, 0x00},                         // an empty acknowledgement
        {0x03, 0x20, 0x01},                   // a request too short for its item code
        {0x01, 0xE0, 0x55},                   // length field 1: three bytes, unused type 7
        {0x06, 0x80, 0x00, 0x40, 0x10, 0x00}, // a page without data, outside a session
    };
    for (const Bytes& j : junk) {
        f.host->Write(j);
    }
    EXPECT_EQ(f.host->ReadMessage(2000), (Bytes{0x03, 0x60, 0x02})) << "the page is refused";
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
    EXPECT_EQ(f.device.ReceivedCount(), junk.size() + 1);
}

TEST(DevsimDevice, LargestMessageIsTakenWhole) {
    Fixture f;
    // A length field of 0 stands for 8194 bytes; a request of that size is still answered once.
    Bytes big(8194, 0x00);
    big[1] = 0x20;
    big[2] = 0x05;
    f.host->Write(big);
    EXPECT_EQ(f.host->ReadMessage(3000), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0009)),
              (Bytes{0x08, 0x00, 0x09, 0x00, 0x5A, 0xFF, 0xA5, 0x00}));
}

TEST(DevsimDevice, PacedLineTakesAtLeastTheWireTime) {
    DeviceSimOptions options;
    options.baud = 1200; // 120 bytes per second
    Fixture f(options);
    const Bytes request = hostmsg::Request(0x0001);
    const auto start = std::chrono::steady_clock::now();
    f.host->Write(request);
    // The reply cannot be all there before the request and the reply have both crossed the line.
    const Bytes reply = f.host->ReadMessage(5000);
    ASSERT_EQ(reply.size(), 17u);
    const auto wire = std::chrono::microseconds((request.size() + reply.size()) * 10 * 1000000 / 1200);
    EXPECT_GE(f.host->LastByteTime() - start, wire);
}

TEST(DevsimDevice, ReplyDelayHoldsBackEveryReply) {
    DeviceSimOptions options;
    options.replyDelayMs = 150;
    Fixture f(options);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
    EXPECT_GE(f.host->LastByteTime() - start, 150ms);
}

TEST(DevsimDevice, HostCanReconnectAfterTakingThePortExclusively) {
    Fixture f;
    ASSERT_EQ(::ioctl(f.host->Fd(), TIOCEXCL), 0);
    EXPECT_EQ(StatusOverLine(*f.host), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
    f.host->Close();
    // An unprivileged host could not open the port again while it stays exclusive; the device lifts the
    // flag once the host has closed it. Wait for that with a bounded number of short looks.
    int exclusive = 1;
    for (int i = 0; i < 200 && exclusive != 0; ++i) {
        CHostPort probe(f.device.PortPath());
        ASSERT_TRUE(probe.IsOpen());
        ASSERT_EQ(::ioctl(probe.Fd(), TIOCGEXCL, &exclusive), 0);
        if (exclusive != 0) {
            std::this_thread::sleep_for(10ms);
        }
    }
    EXPECT_EQ(exclusive, 0);
    CHostPort again(f.device.PortPath());
    ASSERT_TRUE(again.IsOpen());
    EXPECT_EQ(StatusOverLine(again), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
}

TEST(DevsimDevice, RefusesOptionsItCannotServe) {
    struct Case {
        const char* what;
        void (*change)(DeviceSimOptions&);
    };
    const Case cases[] = {
        {"page size 0", [](DeviceSimOptions& o) { o.pageSize = 0; }},
        {"page too big for a frame", [](DeviceSimOptions& o) { o.pageSize = 8186; }},
        {"boot area covering the flash", [](DeviceSimOptions& o) { o.bootLength = o.flashSize; }},
        {"name too long for a reply", [](DeviceSimOptions& o) { o.name.assign(9000, 'x'); }},
        {"negative delay", [](DeviceSimOptions& o) { o.replyDelayMs = -1; }},
        {"link over a regular file", [](DeviceSimOptions& o) { o.linkPath = "/proc/self/status"; }},
    };
    for (const Case& c : cases) {
        DeviceSimOptions options;
        c.change(options);
        CSimulatedDevice device(options);
        std::string error;
        EXPECT_FALSE(device.Start(&error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

TEST(DevsimDevice, StopEndsADelayedReplyAtOnce) {
    DeviceSimOptions options;
    options.replyDelayMs = 60000;
    auto f = std::make_unique<Fixture>(options);
    f->host->Write(hostmsg::Request(0x0005));
    ASSERT_TRUE(f->device.WaitForMessages(1, 2000));
    f->device.Stop(); // must not wait out the minute
    EXPECT_FALSE(f->device.HungUp());
}
