// The sender and the receiver over a real pty, with this test playing the device on the master side.
#include "protocol/MessageFrame.h"
#include "serial/SerialTypes.h"
#include "support/DocAccess.h"
#include "support/LinkRig.h"
#include "support/PtyPair.h"

#include <future>
#include <gtest/gtest.h>
#include <sstream>

using namespace brenwick::serial;

using namespace brenwick;

namespace {

using Bytes = std::vector<uint8_t>;

std::string Str(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

const Bytes kStatusRequest = {0x04, 0x20, 0x05, 0x00};
Bytes StatusReply(uint8_t status) {
    return {0x05, 0x00, 0x05, 0x00, status};
}

// Swallows notifications: the test calls OnPortEvent itself.
class CNullTarget : public ISerialNotifyTarget {
  public:
    void Post(uint32_t, uint32_t, intptr_t) override {}
};

// The document on the slave side of a pty, on line as the worker would have it.
class Framing : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Doc.SetPortSettings(m_Pty.path, 10);
        CDocAccess::OpenLink(m_Doc);
        ASSERT_TRUE(m_Doc.m_Port.IsOpen());
    }

    // Sends a request as the worker does; `device` plays the other end on its own thread.
    bool Exchange(const Bytes& request, const std::function<void()>& device) {
        auto answering = std::async(std::launch::async, device);
        const bool released = CDocAccess::SendAndWait(m_Doc, request.data());
        answering.wait();
        return released;
    }
    // Waits for the request on the line, then sends each chunk with a short pause between them.
    std::function<void()> Reply(std::vector<Bytes> chunks, int pauseMs = 20) {
        return [this, chunks, pauseMs] {
            m_Pty.ReceiveAtDevice(100);
            for (const auto& chunk : chunks) {
                m_Pty.SendFromDevice(Str(chunk));
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
        };
    }

    PtyPair m_Pty;
    CHeadlessLink m_Link;
    CBrenwickDoc& m_Doc = m_Link.Doc();
};

struct ReleaseCase {
    const char* name;
    std::vector<Bytes> chunks; // what the device answers, write by write
    bool released;
};
void PrintTo(const ReleaseCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class Releases : public Framing, public ::testing::WithParamInterface<ReleaseCase> {};

TEST_P(Releases, WhichRepliesReleaseTheSender) {
    EXPECT_EQ(Exchange(kStatusRequest, Reply(GetParam().chunks)), GetParam().released);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Releases,
    ::testing::Values(ReleaseCase{"empty_acknowledgement", {{0x02, 0x00}}, true},
                      ReleaseCase{"ack_item_accepted", {{0x03, 0x60, 0x00}}, true},
                      ReleaseCase{"ack_item_refused", {{0x03, 0x60, 0x01}}, false},
                      ReleaseCase{"unknown_control_item", {{0x06, 0x00, 0x77, 0x07, 0xAA, 0xBB}}, true},
                      ReleaseCase{"data_item_from_the_device", {{0x07, 0x80, 0, 0, 0, 0, 1}}, false},
                      ReleaseCase{"request_from_the_device", {{0x04, 0x20, 0x05, 0x00}}, false},
                      ReleaseCase{"unused_type", {{0x02, 0x40}}, false},
                      ReleaseCase{"split_over_three_writes", {{0x05}, {0x00, 0x05}, {0x00, 0x0E}}, true},
                      ReleaseCase{"header_split", {{0x02}, {0x00}}, true}),
    [](const ::testing::TestParamInfo<ReleaseCase>& p) { return std::string(p.param.name); });

TEST_F(Framing, SeveralRepliesInOneWriteAreEachHandledInOrder) {
    Bytes merged = {0x0A, 0x00, 0x01, 0x00, 'B', 'o', 'a', 'r', 'd', 0x00};
    const Bytes geometry = {0x11, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00,
                            0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00};
    merged.insert(merged.end(), geometry.begin(), geometry.end());
    const Bytes status = StatusReply(16);
    merged.insert(merged.end(), status.begin(), status.end());
    EXPECT_TRUE(Exchange(kStatusRequest, Reply({merged})));
    ASSERT_TRUE(WaitUntil([&] { return m_Doc.m_LinkState == LinkState::Programming; }, 2000));
    EXPECT_EQ(m_Doc.TargetName(), "Board");
    EXPECT_EQ(m_Doc.m_FlashSize, 262144);
    EXPECT_EQ(m_Doc.m_PageSize, 256);
    EXPECT_EQ(m_Doc.m_BootLength, 16384);
}

TEST_F(Framing, ALateReplyNeverReleasesTheNextMessage) {
    // The first reply comes after the sender gave up; the second request gets no answer at all.
    EXPECT_FALSE(Exchange(kStatusRequest, [&] {
        m_Pty.ReceiveAtDevice(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        m_Pty.SendFromDevice(Str(StatusReply(14)));
    }));
    ASSERT_TRUE(WaitUntil([&] { return m_Doc.m_LinkState == LinkState::Connected; },
                          2000)); // the late reply was read
    EXPECT_FALSE(Exchange(kStatusRequest, [&] { m_Pty.ReceiveAtDevice(100); }))
        << "a stale release made an unanswered message look answered";
}

TEST_F(Framing, AWriteToAClosedPortFailsAtOnce) {
    m_Doc.ClosePort();
    EXPECT_FALSE(CDocAccess::SendAndWait(m_Doc, kStatusRequest.data()));
    EXPECT_EQ(m_Pty.ReceiveAtDevice(100), "");
}

// The receiver driven by hand: OnPortEvent called on this thread with chosen event codes.
class ManualEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Doc.m_hNotifyWnd = &m_Null;
        m_Doc.SetPortSettings(m_Pty.path, 10);
        CDocAccess::OpenLink(m_Doc);
        ASSERT_TRUE(m_Doc.m_Port.IsOpen());
    }
    void TearDown() override {
        m_Doc.StopWorker();
        m_Doc.ClosePort();
    }
    void Send(const Bytes& bytes) {
        m_Pty.SendFromDevice(Str(bytes));
        std::this_thread::sleep_for(std::chrono::milliseconds(30)); // let the pty hand them over
    }

    PtyPair m_Pty;
    CNullTarget m_Null;
    CBrenwickDoc m_Doc;
};

TEST_F(ManualEvents, BytesThatCameWithAnotherEventAreStillRead) {
    Send(StatusReply(128));
    m_Doc.OnPortEvent(EV_RXCHAR | EV_TXEMPTY, 0);
    EXPECT_EQ(m_Doc.m_LinkState, LinkState::ProgrammingError);
}

TEST_F(ManualEvents, ALineErrorAloneDropsWhatTheDriverHolds) {
    Send(StatusReply(128));
    m_Doc.OnPortEvent(EV_ERR, 0);
    m_Doc.OnPortEvent(EV_RXCHAR, 0); // nothing left to read
    EXPECT_EQ(m_Doc.m_LinkState, LinkState::OffLine);
    Send(StatusReply(14));
    m_Doc.OnPortEvent(EV_TXEMPTY, 0); // no bytes announced: nothing is read
    EXPECT_EQ(m_Doc.m_LinkState, LinkState::OffLine);
    m_Doc.OnPortEvent(EV_RXCHAR, 0);
    EXPECT_EQ(m_Doc.m_LinkState, LinkState::Connected);
}

TEST_F(ManualEvents, AHalfMessageIsDroppedAtTheFifthIdleStep) {
    const Bytes reply = StatusReply(16); // off line: the idle steps only count down the receiver
    Send({reply.begin(), reply.begin() + 3});
    m_Doc.OnPortEvent(EV_RXCHAR, 0);
    for (int step = 1; step <= 5; ++step) {
        EXPECT_EQ(m_Doc.m_RxState, 2) << "dropped before idle step " << step;
        CDocAccess::IdleWork(m_Doc);
    }
    EXPECT_EQ(m_Doc.m_RxState, 0);
    Send(StatusReply(128)); // the next byte starts a new message
    m_Doc.OnPortEvent(EV_RXCHAR, 0);
    EXPECT_EQ(m_Doc.m_LinkState, LinkState::ProgrammingError);
}

// The receive state machine, one byte at a time.
void Feed(CBrenwickDoc& doc, const Bytes& bytes) {
    for (uint8_t b : bytes) {
        CDocAccess::FeedByte(doc, b);
    }
}

TEST(Receiver, ALengthFieldOfZeroWaitsFor8194Bytes) {
    CBrenwickDoc doc;
    Bytes big(8194, 0x20);
    big[0] = 0x00;
    big[1] = 0x00; // ControlItem, length field 0
    big[2] = 0x05; // Status
    big[3] = 0x00;
    big[4] = 128;
    Feed(doc, {big.begin(), big.end() - 1});
    EXPECT_EQ(doc.m_LinkState, LinkState::OffLine);
    EXPECT_EQ(doc.m_RxState, 2);
    CDocAccess::FeedByte(doc, big.back());
    EXPECT_EQ(doc.m_LinkState, LinkState::ProgrammingError);
    EXPECT_EQ(doc.m_RxState, 0);
}

TEST(Receiver, ALengthFieldOfOneTakesOneByteAfterTheHeader) {
    CBrenwickDoc doc;
    Feed(doc, {0x01, 0x00, 0x99});
    EXPECT_EQ(doc.m_RxState, 0);
    Feed(doc, StatusReply(15));
    EXPECT_EQ(doc.m_LinkState, LinkState::Programming);
}

// The device fields a reply fills, as one line: revisions, geometry, product ID (and whether one came), aux
// word, texts and link state.
std::string Fields(const CBrenwickDoc& d) {
    const auto id = d.ProductIdBytes();
    std::ostringstream out;
    out << "rev " << d.m_BootRev << "/" << d.m_FlashRev << " geometry " << d.m_FlashSize << "/"
        << d.m_PageSize << "/" << d.m_BootLength << " id " << int(id[0]) << "." << int(id[3])
        << (d.m_ProductIdPending ? "?" : "!") << " aux " << d.m_AuxWord << " '" << d.TargetName() << "' '"
        << d.SerialNumber() << "' state " << static_cast<int>(d.m_LinkState.load());
    return out.str();
}

TEST(Receiver, RepliesFillTheDeviceFields) {
    const std::string none = "rev 0/0 geometry 0/0/0 id 90.0? aux 0 '' '' state 3";
    const std::tuple<const char*, Bytes, std::string> cases[] = {
        {"flash revision", {0x07, 0x00, 0x04, 0x00, 0x01, 0x2C, 0x01}, "rev 0/300 "},
        {"boot revision", {0x07, 0x00, 0x04, 0x00, 0x00, 0x78, 0x00}, "rev 120/0 "},
        {"revision with another parameter", {0x07, 0x00, 0x04, 0x00, 0x02, 0x2C, 0x01}, none},
        {"geometry",
         {0x11, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0x00,
          0x00},
         "geometry 262144/256/16384 "},
        {"short geometry stores nothing", {0x06, 0x00, 0x02, 0x03, 0x00, 0x00}, none},
        {"product ID equal to the defaults", {0x08, 0x00, 0x09, 0x00, 0x5A, 0xFF, 0xA5, 0x00}, "id 90.0! "},
        {"aux word", {0x06, 0x00, 0x03, 0x00, 0x34, 0x12}, "aux 4660 "},
        // A longer text before it leaves bytes behind the short one's end in the buffer.
        {"text without zero byte",
         {0x09, 0x00, 0x02, 0x00, 'L', 'O', 'N', 'G', '!', 0x07, 0x00, 0x02, 0x00, 'A', 'B', 'C'},
         "'' 'ABC' "},
        {"text with zero byte", {0x09, 0x00, 0x01, 0x00, 'X', 0x00, 'Y', 'Z', 0x00}, "'X' '' "},
        {"unknown item changes nothing", {0x08, 0x00, 0x99, 0x00, 1, 2, 3, 4}, none},
        {"status 16", StatusReply(16), "state 4"},
        {"status 15", StatusReply(15), "state 4"},
        {"status 128", StatusReply(128), "state 5"},
        {"status 14", StatusReply(14), "state 0"},
        {"status 0", StatusReply(0), "state 0"},
        {"status 255", StatusReply(255), "state 0"},
    };
    for (const auto& [name, reply, expected] : cases) {
        CBrenwickDoc doc;
        Feed(doc, reply);
        EXPECT_EQ(doc.m_RxState, 0) << name;
        const std::string fields = Fields(doc);
        EXPECT_NE(fields.find(expected), std::string::npos) << name << ": " << fields;
    }
}

} // namespace
