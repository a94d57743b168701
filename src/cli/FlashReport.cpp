#include "cli/FlashReport.h"

#include "cli/JsonWriter.h"
#include "cli/Output.h"

#include <cstdio>
#include <utility>

namespace brenwick::cli {

std::string ClosingLine(int32_t bytes, double seconds, size_t devices) {
    char text[160];
    const double rate = seconds > 0 ? bytes / seconds / 1024.0 : 0.0;
    if (devices == 1) {
        std::snprintf(text, sizeof text, "Sent %d bytes in %.1f s (%.1f KiB/s)\n", bytes, seconds, rate);
    } else {
        std::snprintf(text, sizeof text, "Sent %d bytes to %zu devices in %.1f s (%.1f KiB/s)\n", bytes,
                      devices, seconds, rate);
    }
    return text;
}

std::string SummaryTable(const SessionList& sessions) {
    std::vector<std::vector<std::string>> rows = {{"PORT", "SERIAL", "RESULT", "BYTES", "TIME"}};
    for (const auto& s : sessions) {
        const std::string serial = s->Facts().device.serialNumber;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", s->TotalSeconds());
        rows.push_back({Printable(s->Port()), serial.empty() ? "-" : Printable(serial),
                        ResultText(s->Result()), std::to_string(s->BytesSent()), seconds});
    }
    return ColumnText(std::move(rows));
}

std::string FlashJson(const std::string& file, const SessionList& sessions, int exitStatus) {
    std::vector<CJsonObject> devices;
    for (const auto& s : sessions) {
        const DeviceInfo facts = s->Facts().device;
        CJsonObject device;
        device.Text("port", s->Port())
            .Text("name", facts.targetName)
            .Text("serial_number", facts.serialNumber)
            .Text("result", ResultText(s->Result()))
            .Number("exit_status", ExitCodeFor(s->Result()))
            .Text("message", s->Message())
            .Number("bytes_sent", s->BytesSent())
            .Real("seconds", s->TotalSeconds());
        devices.push_back(std::move(device));
    }
    CJsonObject run;
    run.Text("file", file).Number("exit_status", exitStatus).Array("devices", devices);
    return run.Str() + "\n";
}

} // namespace brenwick::cli
