// The product message's hand-over: the link worker waits until the window's thread has shown each message,
// and a closed gate releases a waiting worker at once.
#include "panel/MessageGate.h"

#include "support/WaitUntil.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace brenwick;

namespace {

// The window's thread stand-in: tasks queue up here until the test runs them.
struct CQueue {
    std::mutex mutex;
    std::vector<std::function<void()>> tasks;

    bool Post(std::function<void()> task) {
        std::lock_guard lock(mutex);
        tasks.push_back(std::move(task));
        return true;
    }
    size_t Size() {
        std::lock_guard lock(mutex);
        return tasks.size();
    }
    void RunFirst() {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex);
            task = std::move(tasks.front());
            tasks.erase(tasks.begin());
        }
        task();
    }
};

TEST(MessageGate, EachMessageIsWaitedForUntilShownAndACloseReleasesTheWait) {
    CQueue queue;
    std::vector<std::string> shown;
    panel::CMessageGate gate([&](std::function<void()> task) { return queue.Post(std::move(task)); },
                             [&](const std::string& text) { shown.push_back(text); });
    for (const char* text : {"first", "second"}) {
        SCOPED_TRACE(text);
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            gate.ShowAndWait(text);
            returned = true;
        });
        ASSERT_TRUE(WaitUntil([&] { return queue.Size() == 1; }, 5000));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(returned) << "returned before the message was shown";
        queue.RunFirst();
        EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, 5000));
        worker.join();
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"first", "second"}));

    std::atomic<bool> returned{false};
    std::thread worker([&] {
        gate.ShowAndWait("never shown");
        returned = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return queue.Size() == 1; }, 5000));
    gate.Close();
    EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, 5000));
    worker.join();
    queue.RunFirst(); // a task that runs after the close shows nothing
    EXPECT_EQ(shown.size(), 2U);
    gate.ShowAndWait("after the close"); // returns at once
    EXPECT_EQ(queue.Size(), 0U);
}

} // namespace
