// The document against the simulated device over a real pty, through the same notification path the
// program uses: handshake, link states and their transitions.
#include "serial/SerialTypes.h"
#include "support/LinkRig.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace brenwick::serial;

using namespace brenwick;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Link, TheHandshakeFillsTheDeviceFieldsAndSurvivesADisconnect) {
    DeviceSimOptions options;
    options.name = "Bench Board";
    options.serial = "SN-0042";
    options.bootRev = 120;
    options.flashRev = 300;
    const uint8_t id[4] = {0x11, 0x22, 0x33, 0x44};
    std::copy(std::begin(id), std::end(id), options.productId);
    options.flashSize = 0x20000;
    options.pageSize = 512;
    options.bootLength = 0x2000;
    CLinkRig rig(options);
    ASSERT_TRUE(rig.m_Started);

    rig.m_Doc.StartWorker();
    rig.m_Doc.PostCommand(WorkerCommand::Connect);
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().onLine; }, 2000));
    // On line, but the state waits for the first idle handshake.
    EXPECT_EQ(rig.m_Doc.Snapshot().linkState, LinkState::OffLine);
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::Connected; }, 5000));

    const std::vector<Bytes> expected = {
        {0x04, 0x20, 0x01, 0x00},       {0x04, 0x20, 0x03, 0x00}, {0x05, 0x20, 0x04, 0x00, 0x00},
        {0x05, 0x20, 0x04, 0x00, 0x01}, {0x04, 0x20, 0x09, 0x00}, {0x04, 0x20, 0x02, 0x00},
        {0x05, 0x20, 0x02, 0x03, 0x00}, {0x04, 0x20, 0x05, 0x00},
    };
    ASSERT_TRUE(rig.m_Device.WaitForMessages(8, 2000));
    const auto received = rig.m_Device.ReceivedMessages();
    ASSERT_GE(received.size(), 8u);
    EXPECT_EQ(std::vector<Bytes>(received.begin(), received.begin() + 8), expected);

    EXPECT_EQ(rig.m_Doc.Snapshot().device.targetName, "Bench Board");
    EXPECT_EQ(rig.m_Doc.Snapshot().device.serialNumber, "SN-0042");
    EXPECT_EQ(rig.m_Doc.Snapshot().device.bootRev, 120);
    EXPECT_EQ(rig.m_Doc.Snapshot().device.flashRev, 300);
    EXPECT_EQ(rig.m_Doc.Snapshot().device.ProductIdBytes(), (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_TRUE(rig.m_Doc.Snapshot().device.productIdReported);
    EXPECT_EQ(rig.m_Doc.Snapshot().device.flashSize, 0x20000);
    EXPECT_EQ(rig.m_Doc.Snapshot().device.pageSize, 512);
    EXPECT_EQ(rig.m_Doc.Snapshot().device.bootLength, 0x2000);

    // Disconnect goes off line at once and keeps the device's fields; the same object goes on line again.
    rig.m_Doc.PostCommand(WorkerCommand::Disconnect);
    ASSERT_TRUE(WaitUntil([&] { return !rig.m_Doc.Snapshot().onLine; }, 2000));
    EXPECT_EQ(rig.m_Doc.Snapshot().linkState, LinkState::OffLine);
    EXPECT_FALSE(rig.m_Doc.IsPortOpen());
    EXPECT_EQ(rig.m_Doc.Snapshot().device.targetName, "Bench Board");
    rig.m_Doc.PostCommand(WorkerCommand::Connect);
    EXPECT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::Connected; }, 5000));
}

struct OpenFailureCase {
    const char* name;
    std::string port; // "" : the simulated device's
    int baudIndex;
    std::error_code error;
};
void PrintTo(const OpenFailureCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class OpenFailures : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailures, ShowPortOpenFailedThenOffLine) {
    const OpenFailureCase& c = GetParam();
    CLinkRig rig({}, c.baudIndex);
    if (!c.port.empty()) {
        rig.m_Doc.SetPortSettings(c.port, c.baudIndex);
    }
    rig.m_Doc.StartWorker();
    rig.m_Doc.PostCommand(WorkerCommand::Connect);
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::PortOpenFailed; }, 2000));
    EXPECT_FALSE(rig.m_Doc.Snapshot().onLine);
    EXPECT_EQ(rig.m_Doc.Snapshot().lastOpenError, c.error);
    EXPECT_FALSE(rig.m_Doc.IsPortOpen());
    // The next idle time-out finds the link off line.
    EXPECT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::OffLine; }, 2000));
}

INSTANTIATE_TEST_SUITE_P(
    Connect, OpenFailures,
    ::testing::Values(OpenFailureCase{"missing_device", "/dev/brenwick-no-such-port", 10,
                                      std::error_code(ENOENT, std::system_category())},
                      OpenFailureCase{"baud_index_past_the_table", "", 13, PortErrc::InvalidArgument},
                      OpenFailureCase{"negative_baud_index", "", -1, PortErrc::InvalidArgument}),
    [](const ::testing::TestParamInfo<OpenFailureCase>& p) { return std::string(p.param.name); });

TEST(Link, ASilentDeviceIsNotConnectedAndOnlyTheFirstRequestGoesOut) {
    DeviceSimOptions options;
    options.silent = true;
    CLinkRig rig(options);
    rig.m_Doc.StartWorker();
    rig.m_Doc.PostCommand(WorkerCommand::Connect);
    ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::NotConnected; }, 3000));
    const auto received = rig.m_Device.ReceivedMessages();
    ASSERT_FALSE(received.empty());
    for (const auto& message : received) {
        EXPECT_EQ(message, (Bytes{0x04, 0x20, 0x01, 0x00})) << "a request after the unanswered one was sent";
    }
    // A device that starts answering is found at the next keep-alive.
    rig.m_Device.SetSilent(false);
    EXPECT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::Connected; }, 5000));
}

TEST(Link, StoppingTheWorkerEndsTheKeepAlive) {
    CLinkRig rig;
    ASSERT_TRUE(rig.GoOnLine());
    rig.m_Doc.StopWorker(); // joins the thread
    const size_t sent = rig.m_Device.ReceivedCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(rig.m_Device.ReceivedCount(), sent) << "something still polls the device";
    // The port stays open until the document closes it; starting again resumes the keep-alive.
    rig.m_Doc.StartWorker();
    EXPECT_TRUE(rig.m_Device.WaitForMessages(sent + 8, 3000));
}

TEST(Link, ClosingThePortFromTwoThreadsAtOnceIsSafe) {
    for (int round = 0; round < 20; ++round) {
        CLinkRig rig;
        rig.m_Doc.StartWorker();
        rig.m_Doc.PostCommand(WorkerCommand::Connect);
        ASSERT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().onLine; }, 2000));
        // The port setup command posts Disconnect and closes the port itself while the worker closes it too.
        rig.m_Doc.PostCommand(WorkerCommand::Disconnect);
        std::thread other([&] { rig.m_Doc.ClosePort(); });
        rig.m_Doc.ClosePort();
        other.join();
        EXPECT_TRUE(WaitUntil([&] { return rig.m_Doc.Snapshot().linkState == LinkState::OffLine; }, 2000));
        EXPECT_FALSE(rig.m_Doc.IsPortOpen());
    }
}

} // namespace
