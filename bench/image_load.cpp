// Loading a full 256 KiB image from Intel HEX with 16-byte records. Goal: under 5 ms per load.
#include "image/FirmwareImage.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace brenwick;

namespace {

std::string WriteFullImageHex() {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("brenwick-bench-" + std::to_string(::getpid()) + ".hex"))
            .string();
    std::ofstream out(path);
    char line[64];
    for (uint32_t address = 0x100000; address < 0x140000; address += 16) {
        if ((address & 0xFFFF) == 0) {
            const unsigned upper = address >> 16;
            std::snprintf(line, sizeof line, ":02000004%04X%02X\n", upper,
                          (0x100 - ((2 + 4 + (upper >> 8) + (upper & 0xFF)) & 0xFF)) & 0xFF);
            out << line;
        }
        unsigned sum = 16 + ((address >> 8) & 0xFF) + (address & 0xFF);
        std::string record;
        std::snprintf(line, sizeof line, ":10%04X00", address & 0xFFFF);
        record = line;
        for (uint32_t i = 0; i < 16; ++i) {
            uint32_t byte = (address + i) * 2654435761u >> 24;
            if (address + i == 0x104003) {
                byte = 0xE5; // SAM7 family marker
            }
            sum += byte;
            std::snprintf(line, sizeof line, "%02X", byte);
            record += line;
        }
        std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        out << record << line;
    }
    out << ":00000001FF\n";
    return path;
}

void BM_LoadFullHexImage(benchmark::State& state) {
    const std::string path = WriteFullImageHex();
    CFirmwareImage image;
    for (auto _ : state) {
        const LoadResult r = image.Load(path);
        if (!r.Ok()) {
            state.SkipWithError(r.Describe().c_str());
            break;
        }
        benchmark::DoNotOptimize(image.m_ImageLen);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadFullHexImage)->Unit(benchmark::kMillisecond);

void BM_StampFullImage(benchmark::State& state) {
    const std::string path = WriteFullImageHex();
    CFirmwareImage image;
    (void)image.Load(path);
    image.m_ImageLen = 0x3FFF0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(image.Stamp(0x4000));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_StampFullImage)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
