// One device's session, stepped the way the flash command steps it, against a simulated device on a
// pseudo-terminal.
#include "cli/SessionExit.h"

#include "devsim/SimulatedDevice.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

namespace brenwick::cli {
namespace {

// A device that goes away before it has answered (unplugged, or reset into its firmware) ends the session
// with that reason at once, instead of after the whole answer time-out with "did not answer".
TEST(DeviceSession, ADeviceThatGoesAwayBeforeAnsweringEndsTheSessionWithThatReason) {
    DeviceSimOptions options;
    options.silent = true;
    CSimulatedDevice device(options);
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;

    CDeviceSession session(device.PortPath(), 10, std::chrono::minutes(5));
    session.Start(false);
    ASSERT_TRUE(WaitUntil(
        [&] {
            session.Step();
            return session.CurrentPhase() == CDeviceSession::Phase::Identifying;
        },
        10000));
    ASSERT_TRUE(device.WaitForMessages(1, 10000)); // the handshake reached the line
    device.Stop();                                 // the line is hung up

    ASSERT_TRUE(WaitUntil([&] { return session.Step(); }, 60000)) << "still waiting after the line was gone";
    EXPECT_EQ(session.Result(), SessionResult::NoAnswer);
    EXPECT_EQ(session.Message(),
              "Not Connected: the device went away (the line was hung up) before it answered");
    EXPECT_TRUE(session.Facts().lineGone);
    session.Interrupt();
}

} // namespace
} // namespace brenwick::cli
