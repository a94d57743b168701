// The receiver on its own (bytes in, replies out, the device record filled), and the link's sender and
// receiver over a real pty, with this test playing the device on the master side.
#include "document/Link.h"
#include "document/NotifyLoop.h"
#include "protocol/MessageAssembler.h"
#include "protocol/MessageFrame.h"
#include "serial/SerialTypes.h"
#include "support/PtyPair.h"
#include "support/WaitUntil.h"

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

// Swallows notifications: the test hands the events to the link itself.
class CNullTarget : public ISerialNotifyTarget {
  public:
    void Post(uint32_t, uint32_t, intptr_t) override {}
};

// A link on the slave side of a pty, opened as the worker opens it; this test plays the worker.
class LinkOnPty : public ::testing::Test {
  protected:
    void Open(ISerialNotifyTarget& target) {
        m_Settings.Set(m_Pty.path, 10);
        m_Link.Attach(&target);
        m_Link.OpenLink();
        ASSERT_TRUE(m_Link.IsPortOpen());
    }
    // Before the fixture's notification target goes: nothing is posted to it afterwards.
    void TearDown() override { m_Link.ClosePort(); }
    LinkState State() const {
        DocSnapshot s;
        m_Link.Fill(s);
        return s.linkState;
    }

    PtyPair m_Pty;
    CPortSettings m_Settings;
    CFirmwareImage m_Image;
    CLink m_Link{m_Settings, m_Image};
};

// Notifications go through a loop of their own, as the command line wires them.
class Framing : public LinkOnPty {
  protected:
    void SetUp() override { Open(m_Loop); }

    // Sends a request as the worker does; `device` plays the other end on its own thread.
    bool Exchange(const Bytes& request, const std::function<void()>& device) {
        auto answering = std::async(std::launch::async, device);
        const bool released = m_Link.SendAndWait(request.data()).why == SendFailure::None;
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

    CNotifyLoop m_Loop{[this](uint32_t message, uint32_t wParam, intptr_t lParam) {
        m_Link.OnPortMessage(message, wParam, lParam);
    }};
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
    ::testing::Values(ReleaseCase{"control_item", {{0x05, 0x00, 0x05, 0x00, 0x0E}}, true},
                      ReleaseCase{"split_over_three_writes", {{0x05}, {0x00, 0x05}, {0x00, 0x0E}}, true},
                      ReleaseCase{"header_split", {{0x02}, {0x00}}, true},
                      ReleaseCase{"data_item_from_the_device", {{0x07, 0x80, 0, 0, 0, 0, 1}}, false}),
    [](const ::testing::TestParamInfo<ReleaseCase>& p) { return std::string(p.param.name); });

TEST_F(Framing, SeveralRepliesInOneWriteAreEachHandledInOrder) {
    Bytes merged = {0x0A, 0x00, 0x01, 0x00, 'B', 'o', 'a', 'r', 'd', 0x00};
    const Bytes geometry = {0x11, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00,
                            0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00};
    merged.insert(merged.end(), geometry.begin(), geometry.end());
    const Bytes status = StatusReply(16);
    merged.insert(merged.end(), status.begin(), status.end());
    EXPECT_TRUE(Exchange(kStatusRequest, Reply({merged})));
    ASSERT_TRUE(WaitUntil([&] { return State() == LinkState::Programming; }, 2000));
    const DeviceInfo device = m_Link.Device();
    EXPECT_EQ(device.targetName, "Board");
    EXPECT_EQ(device.flashSize, 262144);
    EXPECT_EQ(device.pageSize, 256);
    EXPECT_EQ(device.bootLength, 16384);
}

TEST_F(Framing, ALateReplyNeverReleasesTheNextMessage) {
    // The first reply comes after the sender gave up; the second request gets no answer at all.
    EXPECT_FALSE(Exchange(kStatusRequest, [&] {
        m_Pty.ReceiveAtDevice(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        m_Pty.SendFromDevice(Str(StatusReply(14)));
    }));
    ASSERT_TRUE(WaitUntil([&] { return State() == LinkState::Connected; }, 2000)); // the late reply was read
    EXPECT_FALSE(Exchange(kStatusRequest, [&] { m_Pty.ReceiveAtDevice(100); }))
        << "a stale release made an unanswered message look answered";
}

TEST_F(Framing, ARefusalIsToldAndAWriteToAClosedPortFailsAtOnce) {
    const SendOutcome refused = [&] {
        auto answering = std::async(std::launch::async, Reply({{0x03, 0x60, 0x07}}));
        const SendOutcome outcome = m_Link.SendAndWait(kStatusRequest.data());
        answering.wait();
        return outcome;
    }();
    EXPECT_EQ(refused.why, SendFailure::Refused);
    EXPECT_EQ(refused.refusal, 7);
    m_Link.ClosePort();
    EXPECT_EQ(m_Link.SendAndWait(kStatusRequest.data()).why, SendFailure::NotOpen);
    EXPECT_EQ(m_Pty.ReceiveAtDevice(100), "");
}

// The link's reading side driven by hand: port messages handed over on this thread with chosen event codes.
class ManualEvents : public LinkOnPty {
  protected:
    void SetUp() override { Open(m_Null); }
    void Send(const Bytes& bytes) {
        m_Pty.SendFromDevice(Str(bytes));
        std::this_thread::sleep_for(std::chrono::milliseconds(30)); // let the pty hand them over
    }
    void Event(uint32_t events, uint32_t lineErrors = 0) {
        m_Link.OnPortMessage(protocol::kPortMessage, events | (lineErrors << 16), 0);
    }

    CNullTarget m_Null;
};

TEST_F(ManualEvents, BytesThatCameWithAnotherEventOrALineErrorAreStillRead) {
    Send(StatusReply(128));
    Event(EV_RXCHAR | EV_TXEMPTY, CE_FRAME);
    EXPECT_EQ(State(), LinkState::ProgrammingError);
    Send(StatusReply(14));
    m_Link.OnPortMessage(protocol::kPortMessage + 1, EV_RXCHAR, 0); // not a port notification
    EXPECT_EQ(State(), LinkState::ProgrammingError);
}

TEST_F(ManualEvents, ALineErrorAloneDropsWhatTheDriverHolds) {
    Send(StatusReply(128));
    Event(EV_ERR);
    Event(EV_RXCHAR); // nothing left to read
    EXPECT_EQ(State(), LinkState::OffLine);
    Send(StatusReply(14));
    Event(EV_TXEMPTY); // no bytes announced: nothing is read
    EXPECT_EQ(State(), LinkState::OffLine);
    Event(EV_RXCHAR);
    EXPECT_EQ(State(), LinkState::Connected);
}

// The receiver: bytes in, whole messages out, each applied to the device record.
struct CReceiver {
    // Feeds the bytes; the effect of the last whole message, if any came.
    std::optional<ReplyEffect> Feed(const Bytes& bytes) {
        std::optional<ReplyEffect> effect;
        for (uint8_t b : bytes) {
            if (assembler.Take(b)) {
                effect = record.Apply(assembler.Message(), assembler.Length());
            }
        }
        return effect;
    }
    CMessageAssembler assembler;
    CDeviceRecord record;
};

TEST(Receiver, WhichRepliesReleaseTheSender) {
    struct Case {
        const char* name;
        Bytes reply;
        bool releases;
        uint8_t refusal;
    };
    const Case cases[] = {
        {"empty acknowledgement", {0x02, 0x00}, true, 0},
        {"ack item accepted", {0x03, 0x60, 0x00}, true, 0},
        {"ack item refused", {0x03, 0x60, 0x01}, false, 1},
        {"ack item without a result", {0x02, 0x60}, false, 0},
        {"unknown control item", {0x06, 0x00, 0x77, 0x07, 0xAA, 0xBB}, true, 0},
        {"control item without a code", {0x03, 0x00, 0x01}, true, 0},
        {"data item from the device", {0x07, 0x80, 0, 0, 0, 0, 1}, false, 0},
        {"request from the device", {0x04, 0x20, 0x05, 0x00}, false, 0},
        {"unused type", {0x02, 0x40}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CReceiver receiver;
        const auto effect = receiver.Feed(c.reply);
        ASSERT_TRUE(effect.has_value());
        EXPECT_EQ(effect->releases, c.releases);
        EXPECT_EQ(effect->refusal, c.refusal);
        EXPECT_FALSE(receiver.assembler.Partial());
    }
}

TEST(Receiver, AMessageIsWholeOnlyWithItsLastByteInWhateverPiecesItCame) {
    struct Case {
        const char* name;
        Bytes bytes;
        size_t length; // of the message the bytes complete
    };
    Bytes big(8194, 0x20);
    big[0] = 0x00;
    big[1] = 0x00; // ControlItem, length field 0: the largest message
    big[2] = 0x05; // Status
    big[3] = 0x00;
    big[4] = 128;
    const Case cases[] = {
        {"header only", {0x02, 0x00}, 2},
        {"status", StatusReply(15), 5},
        {"length field 1 takes one byte after the header", {0x01, 0x00, 0x99}, 3},
        {"length field 0 waits for 8194 bytes", big, 8194},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMessageAssembler assembler;
        for (size_t i = 0; i < c.bytes.size(); ++i) {
            const bool whole = assembler.Take(c.bytes[i]);
            ASSERT_EQ(whole, i + 1 == c.length) << "byte " << i;
        }
        EXPECT_EQ(static_cast<size_t>(assembler.Length()), c.length);
        EXPECT_EQ(Bytes(assembler.Message(), assembler.Message() + assembler.Length()), c.bytes);
        EXPECT_FALSE(assembler.Partial());
    }
}

TEST(Receiver, AHalfMessageIsDroppedAtTheFifthQuietIdleStep) {
    CReceiver receiver;
    const Bytes reply = StatusReply(16);
    EXPECT_FALSE(receiver.Feed({reply.begin(), reply.begin() + 3}));
    for (int step = 1; step <= 4; ++step) {
        receiver.assembler.IdleStep();
        EXPECT_TRUE(receiver.assembler.Partial()) << "dropped at idle step " << step;
    }
    EXPECT_FALSE(receiver.Feed({reply[3]})) << "a byte restarts the count";
    for (int step = 1; step <= 4; ++step) {
        receiver.assembler.IdleStep();
    }
    EXPECT_TRUE(receiver.assembler.Partial());
    receiver.assembler.IdleStep();
    EXPECT_FALSE(receiver.assembler.Partial());
    const auto effect = receiver.Feed(StatusReply(128)); // the next byte starts a new message
    ASSERT_TRUE(effect.has_value());
    EXPECT_EQ(effect->linkState, LinkState::ProgrammingError);
}

// The device fields a reply fills, as one line: revisions, geometry, product ID (and whether one came), aux
// word, texts, and the link state a status reply tells.
std::string Fields(const DeviceInfo& d, std::optional<LinkState> state) {
    const auto id = d.ProductIdBytes();
    std::ostringstream out;
    out << "rev " << d.bootRev << "/" << d.flashRev << " geometry " << d.flashSize << "/" << d.pageSize << "/"
        << d.bootLength << " id " << int(id[0]) << "." << int(id[3]) << (d.productIdReported ? "!" : "?")
        << " aux " << d.auxWord << " '" << d.targetName << "' '" << d.serialNumber << "' state "
        << (state ? static_cast<int>(*state) : -1);
    return out.str();
}

TEST(Receiver, RepliesFillTheDeviceFields) {
    const std::string none = "rev 0/0 geometry 0/0/0 id 90.0? aux 0 '' '' state -1";
    const std::tuple<const char*, Bytes, std::string> cases[] = {
        {"flash revision", {0x07, 0x00, 0x04, 0x00, 0x01, 0x2C, 0x01}, "rev 0/300 "},
        {"boot revision", {0x07, 0x00, 0x04, 0x00, 0x00, 0x78, 0x00}, "rev 120/0 "},
        {"revision with another parameter", {0x07, 0x00, 0x04, 0x00, 0x02, 0x2C, 0x01}, none},
        {"short revision stores nothing", {0x06, 0x00, 0x04, 0x00, 0x01, 0x2C}, none},
        {"geometry",
         {0x11, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0x00,
          0x00},
         "geometry 262144/256/16384 "},
        {"short geometry stores nothing",
         {0x10, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0x00},
         none},
        {"product ID equal to the defaults", {0x08, 0x00, 0x09, 0x00, 0x5A, 0xFF, 0xA5, 0x00}, "id 90.0! "},
        {"short product ID stores nothing", {0x07, 0x00, 0x09, 0x00, 0x01, 0x02, 0x03}, none},
        {"aux word", {0x06, 0x00, 0x03, 0x00, 0x34, 0x12}, "aux 4660 "},
        {"short aux word stores nothing", {0x05, 0x00, 0x03, 0x00, 0x34}, none},
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
        {"status without a byte", {0x04, 0x00, 0x05, 0x00}, none},
    };
    for (const auto& [name, reply, expected] : cases) {
        CReceiver receiver;
        const auto effect = receiver.Feed(reply);
        ASSERT_TRUE(effect.has_value()) << name;
        const std::string fields = Fields(receiver.record.Info(), effect->linkState);
        EXPECT_NE(fields.find(expected), std::string::npos) << name << ": " << fields;
    }
}

TEST(Receiver, ANewConnectionForgetsTheProductIdOnly) {
    CReceiver receiver;
    receiver.Feed({0x08, 0x00, 0x09, 0x00, 1, 2, 3, 4});
    receiver.Feed({0x06, 0x00, 0x01, 0x00, 'B', 0x00});
    receiver.record.ForgetProductId();
    EXPECT_EQ(Fields(receiver.record.Info(), std::nullopt),
              "rev 0/0 geometry 0/0/0 id 90.0? aux 0 'B' '' state -1");
}

} // namespace
