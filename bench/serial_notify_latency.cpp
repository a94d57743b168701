// Latency of a port notification: from a byte written on the device side of a pseudo-terminal to the
// notification handed to the target. Reports the median in microseconds (goal: under 50).
#include "serial/SerialWnd.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <pty.h>
#include <unistd.h>
#include <vector>

using namespace brenwick::serial;

using namespace brenwick;

namespace {

using Clock = std::chrono::steady_clock;

class TimingTarget : public ISerialNotifyTarget {
  public:
    void Post(uint32_t, uint32_t, intptr_t) override {
        m_At.store(Clock::now().time_since_epoch().count());
        m_Posts.fetch_add(1);
        m_Posts.notify_one();
    }
    // Waits for post number `count` and returns when it was made.
    Clock::rep WaitFor(uint32_t count) {
        for (uint32_t seen = m_Posts.load(); seen < count; seen = m_Posts.load()) {
            m_Posts.wait(seen);
        }
        return m_At.load();
    }

  private:
    std::atomic<uint32_t> m_Posts{0};
    std::atomic<Clock::rep> m_At{0};
};

void BM_NotificationLatency(benchmark::State& state) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    TimingTarget target;
    CSerialWnd port;
    if (port.OpenPort(name, &target, 1044, 0, 32768, 32768) || port.SetupLine(115200, 8, 0, 0) ||
        port.SetEventMask(EV_RXCHAR | EV_TXEMPTY | EV_ERR)) {
        state.SkipWithError("cannot open the pty as a port");
        return;
    }
    std::vector<double> latencies;
    uint32_t posts = 0;
    char buffer[64];
    for (auto _ : state) {
        const auto sent = Clock::now();
        if (write(master, "U", 1) != 1) {
            state.SkipWithError("write failed");
            break;
        }
        const Clock::rep postedAt = target.WaitFor(++posts);
        const double seconds =
            std::chrono::duration<double>(Clock::duration(postedAt) - sent.time_since_epoch()).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds * 1e6);
        state.PauseTiming();
        port.ReadBytes(buffer, sizeof buffer, nullptr, nullptr, INFINITE); // as the receiver would
        state.ResumeTiming();
    }
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        state.counters["median_us"] = latencies[latencies.size() / 2];
        state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    }
    port.ClosePort();
    close(slave);
    close(master);
}

BENCHMARK(BM_NotificationLatency)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

} // namespace

BENCHMARK_MAIN();
