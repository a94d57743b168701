// The device watcher on a folder of links to a pseudo-terminal, as udev keeps /dev/serial/by-id.
// Idle: the processor time the whole process uses while a Wait sees nothing for 3 s, as a percentage of one
// core (goal: under 0.5). Latency: from a link made in the folder to its Appeared event handed out by a Wait
// blocked in another thread, median and maximum over 50 links in milliseconds (goal: well under 1000).
// Plug to programming: from a simulated board's link made in the folder to the first message of its run
// reaching the board, through the watcher and the production station as `flash --watch` drives them, median
// and maximum over 10 boards (goal: under 1 s).
#include "devsim/SimulatedDevice.h"
#include "serial/DeviceWatcher.h"
#include "station/ProductionStation.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <fstream>
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

void BM_PlugToProgramming(benchmark::State& state) {
    constexpr int kBoards = 10;
    Bench bench;
    // A SAM7 application: its first word, the rest erased.
    const std::string firmware = bench.Folder() + "-firmware.bin";
    {
        std::vector<char> bytes(0x1000, '\xff');
        const char sam7[4] = {'\x18', '\xf0', '\x9f', '\xe5'};
        std::copy(std::begin(sam7), std::end(sam7), bytes.begin());
        std::ofstream(firmware, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    CDeviceWatcher watcher(bench.Folder());
    brenwick::station::StationOptions options;
    options.firmware = firmware;
    brenwick::station::CProductionStation station(options, nullptr);
    std::vector<double> latencies;
    for (auto _ : state) {
        for (int k = 0; k < kBoards; ++k) {
            brenwick::CSimulatedDevice board(brenwick::DeviceSimOptions{});
            std::string error;
            if (!board.Start(&error)) {
                state.SkipWithError(error.c_str());
                break;
            }
            const fs::path link =
                fs::path(bench.Folder()) / ("usb-Bench_Board_" + std::to_string(k) + "-if00");
            const auto made = Clock::now();
            fs::create_symlink(board.PortPath(), link);
            // The watch's loop: the station hears of the board as soon as the watcher hands it out.
            while (station.Boards().empty() && Clock::now() - made < std::chrono::seconds(10)) {
                for (const DeviceEvent& event : watcher.Wait(std::chrono::milliseconds(250))) {
                    if (event.kind == DeviceEvent::Kind::Appeared) {
                        station.OnAppeared(event.port);
                    }
                }
            }
            if (!board.WaitForMessages(1, 10000)) {
                state.SkipWithError("the board was not programmed within 10 s");
                break;
            }
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - made).count());
            station.Interrupt();
            fs::remove(link);
            for (const DeviceEvent& event : watcher.Wait(std::chrono::seconds(1))) {
                station.OnGone(event.port);
            }
        }
    }
    fs::remove(firmware);
    if (latencies.empty()) {
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
}

BENCHMARK(BM_IdleProcessorUse)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AppearedLatency)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PlugToProgramming)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
