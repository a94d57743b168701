// The listener thread and its notifications, over real pseudo-terminals.
#include "serial/SerialWnd.h"

#include "support/PtyPair.h"

#include <ctime>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

using namespace brenwick::serial;

namespace {

constexpr uint32_t kDocumentMask = EV_RXCHAR | EV_TXEMPTY | EV_ERR; // 133
constexpr int kGenerousWaitMs = 5000; // only ever reached when the behaviour is broken

const std::error_code kSuccess;

// Opens the port the way the document does; the first failing step's code, else success.
std::error_code OpenLikeTheDocument(CSerialWnd& port, const std::string& path, ISerialNotifyTarget& target) {
    std::error_code rc = port.OpenPort(path.c_str(), &target, 1044, 0, 32768, 32768);
    rc = rc ? rc : port.SetupLine(115200, 8, 0, 0);
    rc = rc ? rc : port.SetHandshaking(HandshakeOff);
    rc = rc ? rc : port.SetEventMask(kDocumentMask);
    return rc ? rc : port.SetReadTimeoutMode(ReadTimeoutNonblocking);
}

double CpuSeconds() { // of the whole process, every thread included
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

TEST(SerialWnd, NotificationCarriesTheGivenOrTheDefaultMessageNumberAndTheParameter) {
    for (const auto& [message, param, expected] :
         {std::tuple<uint32_t, intptr_t, uint32_t>{0, 7, DefaultComMsg()}, {0x8001, -3, 0x8001}}) {
        SCOPED_TRACE(message);
        PtyPair pty;
        RecordingTarget target;
        CSerialWnd port;
        ASSERT_EQ(port.OpenPort(pty.path.c_str(), &target, message, param, 0, 0), kSuccess);
        pty.SendFromDevice("x");
        ASSERT_TRUE(target.WaitForCount(1, kGenerousWaitMs));
        EXPECT_EQ(target.Snapshot()[0].message, expected);
        EXPECT_EQ(target.Snapshot()[0].lParam, param);
    }
    EXPECT_GE(DefaultComMsg(), 0xC000u);
    EXPECT_LE(DefaultComMsg(), 0xFFFFu);
}

TEST(SerialWnd, OneThreadPostsOncePerMaskedEventCostsNothingWhileBytesWaitAndEndsWithTheDevice) {
    PtyPair pty;
    RecordingTarget target;
    CSerialWnd port;
    ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), kSuccess);
    ASSERT_EQ(port.SetEventMask(kDocumentMask), kSuccess); // a second mask change: still nothing to post
    const size_t threads = ThreadCount();
    EXPECT_EQ(port.StartListener(), kSuccess); // starting again starts no second thread
    EXPECT_EQ(ThreadCount(), threads);

    pty.SendFromDevice("first");
    ASSERT_TRUE(target.WaitForCount(1, kGenerousWaitMs));
    // Bytes stay unread: no further notification however long they wait, and a listener that polled or
    // spun on them would use most of the processor meanwhile.
    const double before = CpuSeconds();
    EXPECT_FALSE(target.WaitForCount(2, 1000));
    EXPECT_LT(CpuSeconds() - before, 0.2) << "processor time used while idle";
    pty.SendFromDevice("second");
    ASSERT_TRUE(target.WaitForCount(2, kGenerousWaitMs));
    char buffer[16384];
    uint32_t read = 0;
    ASSERT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), kSuccess);
    EXPECT_EQ(std::string(buffer, read), "firstsecond");

    // A write from the worker reports the drained output queue.
    ASSERT_EQ(port.WriteBytes("ping", 4, nullptr, nullptr, INFINITE), kSuccess);
    ASSERT_TRUE(target.WaitForCount(3, kGenerousWaitMs));
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "ping");

    // Events outside the mask are not posted.
    ASSERT_EQ(port.SetEventMask(EV_TXEMPTY), kSuccess);
    pty.SendFromDevice("ignored");
    ASSERT_EQ(port.WriteBytes("x", 1, nullptr, nullptr, INFINITE), kSuccess);
    ASSERT_TRUE(target.WaitForCount(4, kGenerousWaitMs));
    EXPECT_FALSE(target.WaitForCount(5, 200));
    // Events in the low word, line errors in the high one (a pty reports none).
    port.OnSerialEvent(EV_RXCHAR | EV_ERR, CE_FRAME);
    port.OnSerialEvent(EV_BREAK, CE_BREAK | CE_MODE);
    std::vector<uint32_t> posted;
    for (const auto& post : target.Snapshot()) {
        EXPECT_EQ(post.message, 1044u);
        EXPECT_EQ(post.lParam, 0);
        posted.push_back(post.wParam);
    }
    EXPECT_EQ(posted, (std::vector<uint32_t>{EV_RXCHAR, EV_RXCHAR, EV_TXEMPTY, EV_TXEMPTY, 0x00080081u,
                                             0x80100040u}));

    // The device going away ends the listener; the flag drops just before the thread is gone from the
    // process.
    pty.HangUp();
    for (int i = 0; i < 500 && (port.ListenerRunning() || ThreadCount() != threads - 1); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(port.ListenerRunning());
    EXPECT_EQ(ThreadCount(), threads - 1);
    EXPECT_NE(port.WriteBytes("x", 1, nullptr, nullptr, INFINITE), kSuccess);
    const double afterHangUp = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(CpuSeconds() - afterHangUp, 0.1); // nothing spins on the dead device
    EXPECT_EQ(port.ClosePort(), kSuccess);
    EXPECT_FALSE(port.IsOpen());
}

// Each round closes the port from two threads at once while bytes stream in and a reader is busy; the same
// object is opened again each round and must leave no thread or descriptor behind.
TEST(SerialWnd, ClosingFromTwoThreadsWhileBytesStreamIsSafeAndRepeatedOpensLeaveNothingBehind) {
    RecordingTarget target;
    CSerialWnd port;
    { // One cycle first: runtimes such as ThreadSanitizer start a helper thread with the first thread.
        PtyPair pty;
        ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), kSuccess);
        ASSERT_EQ(port.ClosePort(), kSuccess);
    }
    const size_t descriptors = OpenDescriptorCount();
    const size_t threads = ThreadCount();
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        PtyPair pty;
        ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), kSuccess);
        ASSERT_TRUE(port.ListenerRunning());
        std::atomic<bool> streaming{true};
        std::thread device([&] {
            while (streaming.load()) {
                pty.SendFromDevice("data");
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        std::thread reader([&] {
            char buffer[256];
            while (!port.ReadBytes(buffer, sizeof buffer, nullptr, nullptr, INFINITE)) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::thread closerA([&] { EXPECT_EQ(port.ClosePort(), kSuccess); });
        std::thread closerB([&] { EXPECT_EQ(port.ClosePort(), kSuccess); });
        closerA.join();
        closerB.join();
        reader.join();
        streaming.store(false);
        device.join();
        ASSERT_FALSE(port.IsOpen());
        ASSERT_FALSE(port.ListenerRunning());
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ThreadCount(), threads);
    // And the object still works, until it is closed.
    RecordingTarget fresh;
    PtyPair pty;
    ASSERT_EQ(OpenLikeTheDocument(port, pty.path, fresh), kSuccess);
    pty.SendFromDevice("x");
    EXPECT_TRUE(fresh.WaitForCount(1, kGenerousWaitMs));
    ASSERT_EQ(port.ClosePort(), kSuccess);
    pty.SendFromDevice("late");
    EXPECT_FALSE(fresh.WaitForCount(2, 200));
}

} // namespace
