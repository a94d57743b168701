// The simulated device spoken to over its real pseudo-terminal, byte for byte, the way a host does: its
// reply to each message, its refusals and faults, and its options. A page that hangs up the line is the
// program's test (ProgramTest.cpp), where the program must then end on its own.
#include "devsim/SimulatedDevice.h"

#include "support/HostMessages.h"
#include "support/HostPort.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <tuple>

using namespace brenwick;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kDefaultId[4] = {0x5A, 0xFF, 0xA5, 0x00};

struct Fixture {
    explicit Fixture(DeviceSimOptions options = {}) : device(std::move(options)) {
        std::string error;
        EXPECT_TRUE(device.Start(&error)) << error;
        host = std::make_unique<CHostPort>(device.PortPath());
        EXPECT_TRUE(host->IsOpen());
    }
    CSimulatedDevice device;
    std::unique_ptr<CHostPort> host;
};

// Default options but for one field.
template <class T, class V>
DeviceSimOptions With(T DeviceSimOptions::*field, V value) {
    DeviceSimOptions options;
    options.*field = value;
    return options;
}

Bytes Status(uint8_t value) {
    return {0x05, 0x00, 0x05, 0x00, value};
}

Bytes PageAck(uint8_t result) {
    return {0x03, 0x60, result};
}

Bytes Phase(CHostPort& host, uint8_t phase) {
    return host.Exchange(hostmsg::ProgramControl(phase, kDefaultId));
}

// Prepare and Begin, each acknowledged, and the status after each.
void Begin(CHostPort& host) {
    ASSERT_EQ(Phase(host, hostmsg::kPrepare), hostmsg::kEmptyAck);
    ASSERT_EQ(host.Exchange(hostmsg::Request(0x0005)), Status(15));
    ASSERT_EQ(Phase(host, hostmsg::kBegin), hostmsg::kEmptyAck);
    ASSERT_EQ(host.Exchange(hostmsg::Request(0x0005)), Status(16));
}

} // namespace

TEST(DevsimDevice, AnswersEveryIdentificationRequestWithItsLayout) {
    DeviceSimOptions o;
    o.name = "Unit 7";
    o.serial = "SN-42";
    std::memcpy(o.productId, "\x12\x34\x56\x78", 4);
    std::tie(o.bootRev, o.flashRev, o.auxWord) = std::make_tuple(0x012C, 0x00C8, 0xBEEF);
    std::tie(o.flashSize, o.pageSize, o.bootLength) = std::make_tuple(0x20000, 128, 0x2000);
    Fixture f(o);
    const std::pair<Bytes, Bytes> cases[] = {
        {{0x04, 0x20, 0x01, 0x00}, {0x0B, 0x00, 0x01, 0x00, 'U', 'n', 'i', 't', ' ', '7', 0x00}},
        {{0x04, 0x20, 0x03, 0x00}, {0x06, 0x00, 0x03, 0x00, 0xEF, 0xBE}},
        {{0x05, 0x20, 0x04, 0x00, 0x00}, {0x07, 0x00, 0x04, 0x00, 0x00, 0x2C, 0x01}}, // boot revision
        {{0x05, 0x20, 0x04, 0x00, 0x01}, {0x07, 0x00, 0x04, 0x00, 0x01, 0xC8, 0x00}}, // flash revision
        {{0x05, 0x20, 0x04, 0x00, 0x07}, {0x07, 0x00, 0x04, 0x00, 0x07, 0x00, 0x00}}, // no such revision
        {{0x04, 0x20, 0x09, 0x00}, {0x08, 0x00, 0x09, 0x00, 0x12, 0x34, 0x56, 0x78}},
        {{0x04, 0x20, 0x02, 0x00}, {0x0A, 0x00, 0x02, 0x00, 'S', 'N', '-', '4', '2', 0x00}},
        {{0x05, 0x20, 0x02, 0x03, 0x00},
         {0x11, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00,
          0x00}},
        {{0x04, 0x20, 0x05, 0x00}, Status(0)},
        {{0x04, 0x20, 0x34, 0x12}, {0x04, 0x00, 0x34, 0x12}},       // unknown item: its code, nothing else
        {{0x06, 0x00, 0x77, 0x00, 0x01, 0x02}, hostmsg::kEmptyAck}, // another control item
    };
    for (const auto& [request, reply] : cases) {
        EXPECT_EQ(f.host->Exchange(request), reply) << ::testing::PrintToString(request);
    }
    EXPECT_EQ(f.device.ReceivedCount(), std::size(cases));
}

TEST(DevsimDevice, MessagesAreCutByTheirHeaderWhateverTheWrites) {
    Fixture f;
    // A length field of 0 stands for 8194 bytes; a request of that size is still answered once.
    Bytes big(8194, 0x00);
    big[1] = 0x20;
    big[2] = 0x05;
    f.host->Write(big);
    EXPECT_EQ(f.host->ReadMessage(3000), Status(0));

    Bytes both = hostmsg::Request(0x0005);
    const Bytes second = hostmsg::Request(0x0009);
    both.insert(both.end(), second.begin(), second.end());
    f.host->Write(both);
    EXPECT_EQ(f.host->ReadMessage(2000), Status(0));
    EXPECT_EQ(f.host->ReadMessage(2000), (Bytes{0x08, 0x00, 0x09, 0x00, 0x5A, 0xFF, 0xA5, 0x00}));

    // One byte at a time, each in its own write after the device has seen the previous one.
    const Bytes request = hostmsg::Request(0x0004, 1);
    for (size_t i = 0; i + 1 < request.size(); ++i) {
        f.host->Write({request[i]});
        ASSERT_TRUE(f.host->StaysQuiet(30)) << "answered after " << i + 1 << " bytes";
    }
    f.host->Write({request.back()});
    EXPECT_EQ(f.host->ReadMessage(2000), (Bytes{0x07, 0x00, 0x04, 0x00, 0x01, 100, 0x00}));
    EXPECT_EQ(f.device.ReceivedMessages(),
              (std::vector<Bytes>{big, hostmsg::Request(0x0005), second, request}));
}

// The device's verdict at End, read with a status poll. The stamp's rules are tested on their own in
// DeviceLogicTest.cpp, and whole runs, with the flash compared byte for byte, go through brenwick-cli.
TEST(DevsimDevice, EndReportsSuccessOnlyForAnIntactImageAfterBegin) {
    struct Case {
        const char* what;
        uint8_t family;
        size_t offset; // image byte to change before sending; 0 for none
    };
    for (const Case& c :
         {Case{"SAM7", 0xE5, 0}, Case{"Cortex-M", 0x20, 0}, Case{"wrong sum", 0xE5, 0x4000 + 1000}}) {
        Fixture f;
        auto image = hostmsg::MakeStampedImage(c.family, 1000);
        image.bytes[c.offset] ^= c.offset != 0 ? 0x01 : 0x00;
        Begin(*f.host);
        for (const Bytes& page : hostmsg::Pages(image, 256)) {
            ASSERT_EQ(f.host->Exchange(page), hostmsg::kPageAccepted) << c.what;
        }
        ASSERT_EQ(Phase(*f.host, hostmsg::kEnd), hostmsg::kEmptyAck);
        EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), Status(c.offset == 0 ? 14 : 128)) << c.what;
    }
    // End without Begin, in the shortest message that carries a phase.
    Fixture f;
    EXPECT_EQ(f.host->Exchange({0x06, 0x00, 0x00, 0x03, 0x00, hostmsg::kEnd}), hostmsg::kEmptyAck);
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), Status(128)) << "End without Begin";
}

TEST(DevsimDevice, RejectsPagesOutsideASessionOrOutsideTheFlash) {
    Fixture f(With(&DeviceSimOptions::flashSize, 0x8000));
    const Bytes page(256, 0x11);
    EXPECT_EQ(f.host->Exchange(hostmsg::DataItem(0x104000, page)), PageAck(2)) << "before Begin";
    EXPECT_EQ(f.device.Flash(), Bytes(0x8000, 0xFF)) << "a new device's flash is erased";
    Begin(*f.host);
    const std::pair<uint32_t, uint8_t> cases[] = {
        {0x100000 + 0x8000 - 256, 0}, // the last page of a SAM7 flash
        {0x8000 - 256, 0},            // and of a Cortex-M flash
        {0x100000 + 0x8000 - 255, 3}, // one byte past the end
        {0x100000 + 0x9000, 3},       // wholly past the end
        {0xFFFFFF80, 3},              // the top of the address space
    };
    for (const auto& [address, result] : cases) {
        EXPECT_EQ(f.host->Exchange(hostmsg::DataItem(address, page)), PageAck(result)) << std::hex << address;
    }
    const Bytes flash = f.device.Flash();
    EXPECT_EQ((Bytes{flash[0x8000 - 257], flash[0x8000 - 256], flash[0x8000 - 1]}),
              (Bytes{0xFF, 0x11, 0x11}));
    EXPECT_EQ(Phase(*f.host, hostmsg::kEnd), hostmsg::kEmptyAck);
    EXPECT_EQ(f.device.Status(), 128) << "rejected pages make the run fail";
}

TEST(DevsimDevice, NakPageIsRefusedAndFailsTheRun) {
    Fixture f(With(&DeviceSimOptions::nakPage, 2));
    const auto pages = hostmsg::Pages(hostmsg::MakeStampedImage(0xE5, 1000), 256);
    Begin(*f.host);
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(f.host->Exchange(pages[i]), PageAck(i == 1 ? 1 : 0)) << "page " << i + 1;
    }
    EXPECT_EQ(f.device.Flash()[0x4000 + 256], 0xFF) << "a refused page is not written";
    EXPECT_EQ(Phase(*f.host, hostmsg::kEnd), hostmsg::kEmptyAck);
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), Status(128));

    // The count starts again at the next Begin, so a second run meets the same refusal.
    ASSERT_EQ(Phase(*f.host, hostmsg::kBegin), hostmsg::kEmptyAck);
    EXPECT_EQ(f.host->Exchange(pages[0]), hostmsg::kPageAccepted);
    EXPECT_EQ(f.host->Exchange(pages[1]), PageAck(1));
}

TEST(DevsimDevice, SilentDeviceRecordsButAnswersNothing) {
    Fixture f(With(&DeviceSimOptions::silent, true));
    f.host->Write(hostmsg::Request(0x0001));
    ASSERT_TRUE(f.device.WaitForMessages(1, 2000));
    EXPECT_TRUE(f.host->StaysQuiet(300));
    EXPECT_EQ(f.device.ReceivedMessages()[0], hostmsg::Request(0x0001));
    f.device.SetSilent(false);
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), Status(0));
}

TEST(DevsimDevice, PartialMessageIsDroppedAfterSilence) {
    Fixture f;
    // A header announcing 16 bytes, and only one body byte: were it kept, the next request would be
    // swallowed as the rest of it.
    f.host->Write({0x10, 0x20, 0x01});
    EXPECT_TRUE(f.host->StaysQuiet(1400));
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), Status(0));
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
    EXPECT_EQ(f.host->ReadMessage(2000), PageAck(2)) << "the page is refused";
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), Status(0));
    EXPECT_EQ(f.device.ReceivedCount(), junk.size() + 1);
}

// A lower bound only: a slow machine makes replies later, never earlier.
TEST(DevsimDevice, APacedLineOrAReplyDelayHoldsBackTheReply) {
    // At 1200 baud, 120 bytes per second: the request (4 bytes) and the reply (5) must both have crossed.
    for (const auto& [options, least] :
         {std::pair{With(&DeviceSimOptions::baud, 1200), std::chrono::microseconds(75ms)},
          std::pair{With(&DeviceSimOptions::replyDelayMs, 150), std::chrono::microseconds(150ms)}}) {
        Fixture f(options);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005), 5000), Status(0));
        EXPECT_GE(f.host->LastByteTime() - start, least) << options.baud << " " << options.replyDelayMs;
    }
}

TEST(DevsimDevice, HostCanReconnectAfterTakingThePortExclusively) {
    Fixture f;
    ASSERT_EQ(::ioctl(f.host->Fd(), TIOCEXCL), 0);
    EXPECT_EQ(f.host->Exchange(hostmsg::Request(0x0005)), Status(0));
    f.host->Close();
    // An unprivileged host could not open the port again while it stays exclusive; the device lifts the
    // flag once the host has closed it. Wait for that with a bounded number of short looks.
    int exclusive = 1;
    for (int i = 0; i < 200 && exclusive != 0; ++i) {
        CHostPort probe(f.device.PortPath());
        ASSERT_EQ(::ioctl(probe.Fd(), TIOCGEXCL, &exclusive), 0);
        if (exclusive != 0) {
            std::this_thread::sleep_for(10ms);
        }
    }
    EXPECT_EQ(exclusive, 0);
    CHostPort again(f.device.PortPath());
    EXPECT_EQ(again.Exchange(hostmsg::Request(0x0005)), Status(0));
}

// The value limits are one check shared with the command line, whose refusals DeviceLogicTest.cpp covers.
TEST(DevsimDevice, RefusesOptionsItCannotServe) {
    for (const DeviceSimOptions& options :
         {With(&DeviceSimOptions::name, std::string(9000, 'x')), // a name too long for a reply
          With(&DeviceSimOptions::replyDelayMs, -1),
          With(&DeviceSimOptions::linkPath, "/proc/self/status")}) {
        CSimulatedDevice device(options);
        std::string error;
        EXPECT_FALSE(device.Start(&error)) << options.replyDelayMs << " " << options.linkPath;
        EXPECT_FALSE(error.empty());
    }
}

TEST(DevsimDevice, StopEndsADelayedReplyAtOnce) {
    Fixture f(With(&DeviceSimOptions::replyDelayMs, 60000));
    f.host->Write(hostmsg::Request(0x0005));
    ASSERT_TRUE(f.device.WaitForMessages(1, 2000));
    f.device.Stop(); // must not wait out the minute
    EXPECT_FALSE(f.device.HungUp());
}
