// The device watcher on a folder of links to a pseudo-terminal, as udev keeps /dev/serial/by-id.
// Idle: the processor time the whole process uses while a Wait sees nothing for 3 s, as a percentage of one
// core (goal: under 0.5). Latency: from a link made in the folder to its Appeared event handed out by a Wait
// blocked in another thread, median and maximum over 50 links in milliseconds (goal: well under 1000).
#include "serial/DeviceWatcher.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <pty.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace brenwick::serial;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A folder with one link to a real pseudo-terminal, removed at the end.
class Bench {
  public:
    Bench() {
        m_Folder = fs::temp_directory_path() / ("brenwick-bench-watch-" + std::to_string(::getpid()));
        fs::create_directories(m_Folder);
        char name[256] = {};
        if (openpty(&m_Master, &m_Slave, name, nullptr, nullptr) == 0) {
            m_Pty = name;
        }
    }
    ~Bench() {
        std::error_code ec;
        fs::remove_all(m_Folder, ec);
        ::close(m_Master);
        ::close(m_Slave);
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    bool Ready() const { return !m_Pty.empty(); }
    void Link(const std::string& name) const { fs::create_symlink(m_Pty, m_Folder / name); }
    std::string Folder() const { return m_Folder.string(); }

  private:
    fs::path m_Folder;
    std::string m_Pty;
    int m_Master = -1;
    int m_Slave = -1;
};

double ProcessSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_IdleProcessorUse(benchmark::State& state) {
    Bench bench;
    if (!bench.Ready()) {
        state.SkipWithError("openpty failed");
        return;
    }
    bench.Link("usb-Bench_Board_0001-if00");
    CDeviceWatcher watcher(bench.Folder());
    if (watcher.Wait(std::chrono::seconds(1)).size() != 1) {
        state.SkipWithError("the device present at the start was not reported");
        return;
    }
    double percent = 0;
    for (auto _ : state) {
        const double cpuBefore = ProcessSeconds();
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(3)) {
            benchmark::DoNotOptimize(watcher.Wait(std::chrono::seconds(3)));
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(wall);
        percent = 100.0 * (ProcessSeconds() - cpuBefore) / wall;
    }
    state.counters["cpu_percent_of_one_core"] = percent;
}

void BM_AppearedLatency(benchmark::State& state) {
    constexpr size_t kLinks = 50;
    Bench bench;
    if (!bench.Ready()) {
        state.SkipWithError("openpty failed");
        return;
    }
    CDeviceWatcher watcher(bench.Folder());
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Clock::time_point> appearedAt;
    std::atomic<bool> stop{false};
    std::thread listener([&] {
        while (!stop.load()) {
            for (const DeviceEvent& event : watcher.Wait(std::chrono::seconds(10))) {
                if (event.kind == DeviceEvent::Kind::Appeared) {
                    const auto now = Clock::now();
                    const std::lock_guard lock(mutex);
                    appearedAt.push_back(now);
                    arrived.notify_one();
                }
            }
        }
    });
    std::vector<double> latencies;
    for (auto _ : state) {
        for (size_t i = 0; i < kLinks; ++i) {
            const auto made = Clock::now();
            bench.Link("usb-Bench_Board_" + std::to_string(i) + "-if00");
            std::unique_lock lock(mutex);
            if (!arrived.wait_for(lock, std::chrono::seconds(10), [&] { return appearedAt.size() > i; })) {
                state.SkipWithError("a link was not reported within 10 s");
                break;
            }
            latencies.push_back(std::chrono::duration<double, std::milli>(appearedAt[i] - made).count());
        }
    }
    stop.store(true);
    watcher.Wake();
    listener.join();
    if (latencies.empty()) {
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
}

BENCHMARK(BM_IdleProcessorUse)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AppearedLatency)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
