// The command line's own pieces, in process: option values, JSON text, the result priority, the progress
// output on a pipe and on a terminal, and the port listing. Exit codes and labelled progress lines are
// checked end to end.
#include "cli/CliText.h"
#include "cli/JsonWriter.h"
#include "cli/LinkOptions.h"
#include "cli/PortListFormat.h"
#include "cli/ProgressView.h"
#include "cli/SessionExit.h"
#include "support/CaseName.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

using namespace brenwick;
using namespace brenwick::cli;
using namespace brenwick::serial;

namespace {

TEST(LinkOptions, BaudRatesOfTheTableAndTimeoutsInSeconds) {
    const int rates[] = {1200,  2400,  4800,   9600,   14400,  19200, 38400,
                         56000, 57600, 115200, 128000, 230400, 256000};
    std::string error;
    for (int index = 0; index < 13; ++index) {
        EXPECT_EQ(ParseBaudRate(std::to_string(rates[index]), &error), index) << rates[index];
    }
    for (const char* bad : {"0", "1199", "115201", "-9600", "9600x", "", "0x2580", " 9600", "99999999999"}) {
        EXPECT_EQ(ParseBaudRate(bad, &error), std::nullopt) << bad;
    }
    const std::pair<const char*, int64_t> good[] = {
        {"5", 5000}, {"0.5", 500}, {"2.25", 2250}, {"0.0001", 1}, {"3600", 3600000}};
    for (const auto& [text, ms] : good) {
        EXPECT_EQ(ParseTimeout(text, &error).value_or(std::chrono::milliseconds(-1)).count(), ms) << text;
    }
    for (const char* bad : {"0", "-1", "", "abc", "1s", "3601", "nan", "inf"}) {
        EXPECT_EQ(ParseTimeout(bad, &error), std::nullopt) << bad;
    }
}

TEST(JsonText, AnyBytesGiveValidJsonOnOneLine) {
    // What a parser reads back: the text itself, with U+FFFD for each piece that is not UTF-8.
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"quote \" back \\ slash", "quote \" back \\ slash"},
        {"tab\tnew\nline\r", "tab\tnew\nline\r"},
        {std::string("nul\0end", 7), std::string("nul\0end", 7)},
        {"esc\x1b[31m del\x7f", "esc\x1b[31m del\x7f"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"bad \xFF \xC3 end", "bad " + r + " " + r + " end"},
        {"overlong \xC0\xAF", "overlong " + r + r},
        {"surrogate \xED\xA0\x80", "surrogate " + r + r + r},
        {"cut \xE2\x82", "cut " + r},
    };
    for (const auto& [text, back] : cases) {
        const std::string json = JsonQuote(text);
        EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), back) << json;
        EXPECT_TRUE(std::none_of(json.begin(), json.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20;
        })) << json;
    }
    // The object builder's output is read back by jq in the end-to-end tests; a rate over no time stays
    // valid.
    EXPECT_EQ(nlohmann::json::parse(CJsonObject().Real("inf", 1.0 / 0.0).Str()),
              nlohmann::json::parse(R"({"inf": null})"));
}

TEST(ResultPriority, TheWorstResultDecidesTheExitStatus) {
    // From the highest priority down; each one wins over every one after it.
    const SessionResult order[] = {SessionResult::Interrupted,     SessionResult::PortFailed,
                                   SessionResult::NoAnswer,        SessionResult::LoadFailed,
                                   SessionResult::ProductMismatch, SessionResult::DeviceError,
                                   SessionResult::Succeeded};
    for (size_t i = 0; i < std::size(order); ++i) {
        for (size_t j = i; j < std::size(order); ++j) {
            EXPECT_EQ(WorstOf(order[i], order[j]), order[i]) << i << " " << j;
            EXPECT_EQ(WorstOf(order[j], order[i]), order[i]) << i << " " << j;
        }
    }
}

ProgressLine At(int percent, const std::string& status = "Programming") {
    return {status, percent, percent * 10, 1000, 1.0};
}

TEST(PlainProgress, EveryTenPercentStepOnceInOrderWhateverTheJumps) {
    std::ostringstream out;
    CProgressView view(out, false, {"/dev/ttyACM0"});
    view.Update(0, {"Connecting", 0, 0, 0, 0});
    for (int percent : {0, 0, 3, 45, 45, 44, 71, 150}) { // the document's figure may pass 100
        view.Update(0, At(percent));
    }
    view.Update(0, At(100, "OK"));
    view.Render();
    EXPECT_EQ(out.str(),
              "Connecting\nProgramming\n0%\n10%\n20%\n30%\n40%\n50%\n60%\n70%\n80%\n90%\n100%\nOK\n");
}

TEST(TerminalProgress, OneLinePerDeviceRedrawnInPlace) {
    std::ostringstream out;
    CProgressView view(out, true, {"/dev/a", "/dev/bb", "/dev/c"}, 100);
    for (int percent = 0; percent <= 100; percent += 25) {
        for (size_t row = 0; row < 3; ++row) {
            view.Update(row, At(row == 1 ? percent / 2 : percent));
        }
        view.Render();
    }
    view.Update(2, At(100, "OK"));
    view.Render();
    const std::string written = out.str();
    view.Render(); // nothing changed: nothing is written
    EXPECT_EQ(out.str(), written);
    const auto screen = cli_text::Screen(written);
    ASSERT_EQ(screen.size(), 3u) << written;
    EXPECT_EQ(screen[0], "/dev/a   [########################] 100%  1000/1000 B  1.0 KiB/s  Programming");
    EXPECT_EQ(screen[1], "/dev/bb  [############............]  50%  500/1000 B  0.5 KiB/s  Programming");
    EXPECT_EQ(screen[2], "/dev/c   [########################] 100%  1000/1000 B  1.0 KiB/s  OK");
    // Drawn once, then moved back over the block for each of the five later changes.
    size_t ups = 0;
    for (size_t at = written.find("\x1b[3A"); at != std::string::npos; at = written.find("\x1b[3A", at + 1)) {
        ++ups;
    }
    EXPECT_EQ(ups, 5u) << written;
}

TEST(TerminalProgress, LinesAreCutToTheWidthSoTheyNeverWrap) {
    const std::string label(60, 'p');
    ProgressLine line = At(50, "Programming a device with a long name");
    for (size_t width : {20u, 40u, 79u, 200u}) {
        const std::string text = CProgressView::BarText(label, line, width);
        EXPECT_LE(text.size(), width);
        EXPECT_EQ(text.substr(0, std::min<size_t>(width, 10)), label.substr(0, std::min<size_t>(width, 10)));
    }
    EXPECT_EQ(CProgressView::BarText("", At(-5), 200).substr(0, 31), "[........................]   0%");
}

TEST(PortList, TextColumnsAndJsonFields) {
    const std::vector<SerialPortInfo> ports = {
        {"/dev/ttyACM0", "/dev/serial/by-id/usb-Veltmark_Board_123-if00", "1d50:6018", "Board \"7\"", true},
        {"/dev/ttyUSB10", "", "0403:6001", "", true},
        {"/dev/ttyS0", "", "", "", false},
        // A port whose bus the system does not tell (Windows without setup information for it).
        {"COM7", "", "", "Communications Port", false, false}};
    EXPECT_EQ(
        PortListText(ports),
        "/dev/ttyACM0   /dev/serial/by-id/usb-Veltmark_Board_123-if00  1d50:6018  Board \"7\"\n"
        "/dev/ttyUSB10  -                                              0403:6001  -\n"
        "/dev/ttyS0     -                                              -          -\n"
        "COM7           -                                              -          Communications Port\n");
    // The JSON's content and key order; its spacing is the library's.
    const std::string json = PortListJson(ports);
    EXPECT_EQ(json.back(), '\n');
    EXPECT_EQ(
        nlohmann::ordered_json::parse(json),
        nlohmann::ordered_json::parse(
            "[{\"path\": \"/dev/ttyACM0\", \"usb\": true, \"by_id\": "
            "\"/dev/serial/by-id/usb-Veltmark_Board_123-if00\", \"usb_id\": \"1d50:6018\", \"product\": "
            "\"Board \\\"7\\\"\"},\n"
            " {\"path\": \"/dev/ttyUSB10\", \"usb\": true, \"by_id\": null, \"usb_id\": \"0403:6001\", "
            "\"product\": null},\n"
            " {\"path\": \"/dev/ttyS0\", \"usb\": false, \"by_id\": null, \"usb_id\": null, \"product\": "
            "null},\n"
            " {\"path\": \"COM7\", \"usb\": null, \"by_id\": null, \"usb_id\": null, \"product\": "
            "\"Communications Port\"}]\n"))
        << json;
    EXPECT_EQ(PortListJson({}), "[]\n");
    EXPECT_EQ(PortListText({}), "");
}

} // namespace
