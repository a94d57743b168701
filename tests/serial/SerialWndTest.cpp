// The listener thread and its notifications, over real pseudo-terminals.
#include "serial/SerialWnd.h"

#include "support/PtyPair.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>

using namespace brenwick::serial;

namespace {

constexpr uint32_t kDocumentMask = EV_RXCHAR | EV_TXEMPTY | EV_ERR; // 133
constexpr int kGenerousWaitMs = 5000; // only ever reached when the behaviour is broken

// Opens the port the way the document does.
int32_t OpenLikeTheDocument(CSerialWnd& port, const std::string& path, ISerialNotifyTarget& target) {
    if (const int32_t rc = port.OpenPort(path.c_str(), &target, 1044, 0, 32768, 32768); rc != 0) {
        return rc;
    }
    for (int32_t rc : {port.SetupLine(115200, 8, 0, 0), port.SetHandshaking(HandshakeOff),
                       port.SetEventMask(kDocumentMask), port.SetReadTimeoutMode(ReadTimeoutNonblocking)}) {
        if (rc != 0) {
            return rc;
        }
    }
    return 0;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST(SerialWnd, NotificationCarriesMessageNumberParameterEventsAndLineErrors) {
    const struct {
        uint32_t message;
        intptr_t param;
        uint32_t expectedMessage;
    } cases[] = {{1044, 0, 1044}, {0, 7, DefaultComMsg()}, {0x8001, -3, 0x8001}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        PtyPair pty;
        RecordingTarget target;
        CSerialWnd port;
        ASSERT_EQ(port.OpenPort(pty.path.c_str(), &target, c.message, c.param, 0, 0), 0);
        pty.SendFromDevice("x");
        ASSERT_TRUE(target.WaitForCount(1, kGenerousWaitMs));
        // Events in the low word, line errors in the high one (a pty reports none).
        port.OnSerialEvent(EV_RXCHAR | EV_ERR, CE_FRAME);
        port.OnSerialEvent(EV_BREAK, CE_BREAK | CE_MODE);
        const auto posts = target.Snapshot();
        ASSERT_EQ(posts.size(), 3u);
        const uint32_t wParams[] = {EV_RXCHAR, 0x00080081u, 0x80100040u};
        for (size_t i = 0; i < posts.size(); ++i) {
            EXPECT_EQ(posts[i].message, c.expectedMessage);
            EXPECT_EQ(posts[i].wParam, wParams[i]);
            EXPECT_EQ(posts[i].lParam, c.param);
        }
    }
    EXPECT_GE(DefaultComMsg(), 0xC000u);
    EXPECT_LE(DefaultComMsg(), 0xFFFFu);
}

TEST(SerialWnd, OneThreadPostsOncePerMaskedEventAndCostsNothingWhileBytesWait) {
    PtyPair pty;
    RecordingTarget target;
    CSerialWnd port;
    ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), 0);
    ASSERT_EQ(port.SetEventMask(kDocumentMask), 0); // a second mask change: still nothing to post
    const size_t threads = ThreadCount();
    EXPECT_EQ(port.StartListener(), 0); // starting again starts no second thread
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
    ASSERT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), 0);
    EXPECT_EQ(std::string(buffer, read), "firstsecond");

    // A write from the worker reports the drained output queue.
    ASSERT_EQ(port.WriteBytes("ping", 4, nullptr, nullptr, INFINITE), 0);
    ASSERT_TRUE(target.WaitForCount(3, kGenerousWaitMs));
    EXPECT_EQ(pty.ReceiveAtDevice(1000), "ping");

    // Events outside the mask are not posted.
    ASSERT_EQ(port.SetEventMask(EV_TXEMPTY), 0);
    pty.SendFromDevice("ignored");
    ASSERT_EQ(port.WriteBytes("x", 1, nullptr, nullptr, INFINITE), 0);
    ASSERT_TRUE(target.WaitForCount(4, kGenerousWaitMs));
    EXPECT_FALSE(target.WaitForCount(5, 200));
    std::vector<uint32_t> posted;
    for (const auto& post : target.Snapshot()) {
        EXPECT_EQ(post.message, 1044u);
        posted.push_back(post.wParam);
    }
    EXPECT_EQ(posted, (std::vector<uint32_t>{EV_RXCHAR, EV_RXCHAR, EV_TXEMPTY, EV_TXEMPTY}));
}

TEST(SerialWnd, RepeatedOpenAndCloseLeavesNoThreadOrDescriptorAndNothingIsPostedAfterClose) {
    PtyPair pty;
    RecordingTarget target;
    CSerialWnd port;
    // One cycle first: runtimes such as ThreadSanitizer start a helper thread with the first thread.
    ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), 0);
    ASSERT_EQ(port.ClosePort(), 0);
    const size_t descriptors = OpenDescriptorCount();
    const size_t threads = ThreadCount();
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), 0) << "cycle " << i;
        ASSERT_TRUE(port.ListenerRunning());
        ASSERT_EQ(port.ClosePort(), 0);
        ASSERT_FALSE(port.ListenerRunning());
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ThreadCount(), threads);
    // And the object still works, until it is closed.
    ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), 0);
    pty.SendFromDevice("x");
    EXPECT_TRUE(target.WaitForCount(1, kGenerousWaitMs));
    uint32_t read = 3;
    char buffer[8];
    ASSERT_EQ(port.ClosePort(), 0);
    pty.SendFromDevice("late");
    EXPECT_FALSE(target.WaitForCount(2, 200));
    EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer, &read, nullptr, INFINITE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(read, 0u);
}

TEST(SerialWnd, ClosingFromTwoThreadsWhileBytesStreamIsSafe) {
    for (int round = 0; round < 20; ++round) {
        PtyPair pty;
        RecordingTarget target;
        CSerialWnd port;
        ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), 0);
        std::atomic<bool> streaming{true};
        std::thread device([&] {
            while (streaming.load()) {
                pty.SendFromDevice("data");
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        std::thread reader([&] {
            char buffer[256];
            while (port.ReadBytes(buffer, sizeof buffer, nullptr, nullptr, INFINITE) == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::thread closerA([&] { EXPECT_EQ(port.ClosePort(), 0); });
        std::thread closerB([&] { EXPECT_EQ(port.ClosePort(), 0); });
        closerA.join();
        closerB.join();
        reader.join();
        streaming.store(false);
        device.join();
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.ListenerRunning());
    }
}

TEST(SerialWnd, DeviceHangingUpMidStreamEndsTheListenerCleanly) {
    PtyPair pty;
    RecordingTarget target;
    CSerialWnd port;
    ASSERT_EQ(OpenLikeTheDocument(port, pty.path, target), 0);
    const size_t threadsWhileOpen = ThreadCount();
    pty.SendFromDevice("partial reply");
    pty.HangUp();
    // The flag drops just before the thread is gone from the process.
    for (int i = 0; i < 500 && (port.ListenerRunning() || ThreadCount() != threadsWhileOpen - 1); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(port.ListenerRunning());
    EXPECT_EQ(ThreadCount(), threadsWhileOpen - 1);
    EXPECT_NE(port.WriteBytes("x", 1, nullptr, nullptr, INFINITE), 0);
    const double before = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(CpuSeconds() - before, 0.1); // nothing spins on the dead device
    EXPECT_EQ(port.ClosePort(), 0);
    EXPECT_FALSE(port.IsOpen());
}

} // namespace
