// Building the document `flash --json` prints (the file, the exit status and each device's result), for one
// device and for eight: the JSON writer's cost next to a run that takes seconds. Goal: well under 1 ms.
#include "cli/JsonWriter.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

using namespace brenwick::cli;

namespace {

void FlashDocument(benchmark::State& state) {
    const auto devices = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<CJsonObject> items;
        for (int k = 0; k < devices; ++k) {
            const bool failed = k == 3;
            CJsonObject device;
            device.Text("port", "/dev/serial/by-id/usb-Veltmark_Board_004" + std::to_string(k) + "-if00")
                .Text("name", "Brenwick SAM7 \"Rev C\" caf\xC3\xA9")
                .Text("serial_number", "SN-" + std::to_string(1000 + k))
                .Text("result", failed ? "Programming Error" : "OK")
                .Number("exit_status", failed ? 1 : 0)
                .Text("message", failed ? "page 5 refused by the device (result 1)" : "")
                .Number("bytes_sent", 24832)
                .Real("seconds", 3.41234 + k);
            items.push_back(std::move(device));
        }
        CJsonObject run;
        run.Text("file", "/home/anna/firmware/sam7-example.hex")
            .Number("exit_status", devices > 3 ? 1 : 0)
            .Array("devices", items);
        std::string text = run.Str();
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(FlashDocument)->Arg(1)->Arg(8);

} // namespace

BENCHMARK_MAIN();
