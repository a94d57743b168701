// A full programming run into the simulated device over a pty: an image that fills a 256 KiB device
// (960 pages of 256 bytes behind the 0x4000 boot area), timed from the Program command to the reply to End.
// Goals: host turnaround per page under 250 us (whole run under 2.25 s, 2 s of which is the fixed pause after
// Prepare); with the device paced at 115200 baud, within 3% of the wire time plus that pause; on line and
// idle, under 1% of one core.
#include "devsim/SimulatedDevice.h"
#include "document/HeadlessLink.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace brenwick;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPages = 960;
constexpr int kPageSize = 256;
constexpr double kPauseSeconds = 2.0;

std::string WriteFullImage() {
    const auto path =
        std::filesystem::temp_directory_path() / ("brenwick-bench-" + std::to_string(::getpid()) + ".bin");
    std::vector<char> bytes(0x3BFFC); // with the 4-byte sum: exactly 960 pages
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 2654435761u >> 24);
    }
    bytes[3] = static_cast<char>(0xE5);
    bytes[0x50] = 0x5A;
    bytes[0x51] = static_cast<char>(0xFF);
    bytes[0x52] = static_cast<char>(0xA5);
    bytes[0x53] = 0x00;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

template <class Predicate>
bool WaitUntil(Predicate done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One document on line with one simulated device, wired as the command line wires it.
struct Bench {
    explicit Bench(int baud) : device(Options(baud)) {
        std::string error;
        ok = device.Start(&error);
        doc.SetPortSettings(device.PortPath(), protocol::BaudIndexForRate(baud == 0 ? 115200 : baud));
        doc.StartWorker();
        doc.PostCommand(WorkerCommand::Connect);
        ok = ok && WaitUntil([this] { return doc.Snapshot().linkState == LinkState::Connected; }, 20000);
    }
    static DeviceSimOptions Options(int baud) {
        DeviceSimOptions o;
        o.baud = baud;
        return o;
    }

    CSimulatedDevice device;
    CHeadlessLink link;
    CBrenwickDoc& doc = link.Doc();
    bool ok = false;
};

void RunProgramming(benchmark::State& state, int baud) {
    const std::string image = WriteFullImage();
    int runs = 0;
    double perPageUs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Bench bench(baud);
        if (!bench.ok || !bench.doc.OnOpenDocument(image) || !bench.doc.ReloadImage()) {
            state.SkipWithError("could not go on line or load the image");
            break;
        }
        state.ResumeTiming();
        const auto start = Clock::now();
        bench.doc.PostCommand(WorkerCommand::Program);
        if (!bench.device.WaitForSessionsEnded(1, 120000)) {
            state.SkipWithError("the run did not end");
            break;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        perPageUs += (seconds - kPauseSeconds) / (kPages + 3) * 1e6;
        ++runs;
        state.PauseTiming();
        if (bench.doc.Snapshot().lastSequence != SequenceResult::Succeeded && bench.doc.IsImageInUse()) {
            WaitUntil([&] { return !bench.doc.IsImageInUse(); }, 2000);
        }
        state.ResumeTiming();
    }
    if (runs > 0) {
        state.counters["turnaround_us_per_message"] = perPageUs / runs;
        if (baud != 0) {
            // Host to device: every message; device to host: one 3-byte release each; 10 bits per byte.
            const double bytes = kPages * (kPageSize + 6 + 3) + 3 * (10 + 2);
            state.counters["wire_plus_pause_s"] = bytes * 10.0 / baud + kPauseSeconds;
        }
    }
    std::filesystem::remove(image);
}

void BM_ProgramFullDevice(benchmark::State& state) {
    RunProgramming(state, 0);
}
BENCHMARK(BM_ProgramFullDevice)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

void BM_ProgramFullDevicePaced115200(benchmark::State& state) {
    RunProgramming(state, 115200);
}
BENCHMARK(BM_ProgramFullDevicePaced115200)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The keep-alive (handshake and poll every half second) is the only work while on line and idle.
void BM_IdleOnLineCpu(benchmark::State& state) {
    Bench bench(0);
    if (!bench.ok) {
        state.SkipWithError("could not go on line");
        return;
    }
    double share = 0;
    for (auto _ : state) {
        const double cpu0 = CpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        share = (CpuSeconds() - cpu0) / wall * 100.0; // includes the simulated device's own thread
    }
    state.counters["cpu_percent_of_one_core"] = share;
}
BENCHMARK(BM_IdleOnLineCpu)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
