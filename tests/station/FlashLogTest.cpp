// The flash log through its public calls, on real files in a temporary folder: records to lines and back
// (jq, on Linux, reads the lines too), writers appending at once, torn and bad lines, paths that are no
// regular file, and the log's time form.
#include "station/FlashLog.h"

#include "support/CaseName.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#ifndef _WIN32
#include "support/RunCommand.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace brenwick::station;

namespace {

FlashRecord Sample(const std::string& serial) {
    FlashRecord r;
    r.time = "2026-12-08T05:40:12Z";
    r.station = "line-3";
    r.operatorName = "anna";
    r.port = "/dev/ttyACM0";
    r.device = "Brenwick SIM";
    r.serialNumber = serial;
    r.productId = "5AFFA500";
    r.bootRevision = "1.20";
    r.flashRevision = "12.34";
    r.firmware = "/srv/fw/app.hex";
    r.sha256 = std::string(64, 'a');
    r.stampedLength = 0x4F00;
    r.stampedSum = 0xFEDCBA98;
    r.result = "Programming Error";
    r.reason = "page 5 refused by the device (result 1)";
    r.bytesSent = 24832;
    r.seconds = 3.412;
    r.version = "1.25";
    return r;
}

std::string Append(const std::string& path, const FlashRecord& record) {
    std::string error;
    EXPECT_TRUE(AppendFlashRecord(path, record, &error)) << error;
    return error;
}

TEST(FlashRecordLine, EveryFieldComesBackWhateverTheText) {
    FlashRecord hostile = Sample("SN \"1\", \\ \t{}");
    hostile.reason = "line one\nline \"two\"\r\n\x1b[31m\x7f caf\xC3\xA9 \xE2\x82\xAC";
    hostile.passed = true;
    hostile.stampedLength = -1;
    const std::string line = FlashRecordJson(hostile);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    std::string error;
    const auto back = ParseFlashRecord(line, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(FlashRecordFields(*back), FlashRecordFields(hostile)) << line;
#ifndef _WIN32
    const CTempDir dir;
    const CommandResult jq = RunCommand("jq -j .reason " + ShellQuote(dir.Write("line", line)));
    EXPECT_EQ(jq.status, 0) << jq.err;
    EXPECT_EQ(jq.out, hostile.reason);
#endif
}

TEST(FlashRecordLine, BadUtf8BecomesReplacementCharacters) {
    FlashRecord record = Sample("bad \xFF end");
    record.firmware = "/fw/\xC3(.hex";
    const auto back = ParseFlashRecord(FlashRecordJson(record), nullptr);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->serialNumber, "bad \xEF\xBF\xBD end");
    EXPECT_EQ(back->firmware, "/fw/\xEF\xBF\xBD(.hex");
}

struct LineCase {
    const char* name;
    std::string line;
    bool parses;
    std::string serial = ""; // what the record then holds
    bool passed = false;
    friend void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }
};

class RecordLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(RecordLines, OlderAndNewerLinesReadWrongOnesRefused) {
    const LineCase& c = GetParam();
    std::string error;
    const auto record = ParseFlashRecord(c.line, &error);
    ASSERT_EQ(record.has_value(), c.parses) << error;
    EXPECT_EQ(error.empty(), c.parses) << error;
    if (record) {
        EXPECT_EQ(record->serialNumber, c.serial);
        EXPECT_EQ(record->passed, c.passed);
        EXPECT_EQ(record->seconds, 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FlashLog, RecordLines,
    ::testing::Values(
        LineCase{"older_fewer_keys", R"({"serial_number":"A1","passed":true})", true, "A1", true},
        LineCase{"newer_more_keys", R"({"serial_number":"A2","station_id":7,"x":{"y":[]}})", true, "A2"},
        LineCase{"nulls_are_defaults", R"({"serial_number":null,"seconds":null})", true},
        LineCase{"empty_object", "{}", true}, LineCase{"array", "[1,2]", false},
        LineCase{"number", "42", false}, LineCase{"text", "hello", false},
        LineCase{"cut", R"({"serial_number":"A)", false},
        LineCase{"wrong_type", R"({"passed":"yes"})", false},
        LineCase{"negative_sum", R"({"stamped_sum":-1})", false},
        LineCase{"sum_too_large", R"({"stamped_sum":4294967296})", false}),
    CaseName<LineCase>);

// Many records from each of several writers at once (threads, or on Linux processes): every line whole,
// every record there once, each writer's in its order.
void WritersAtOnce(bool processes) {
    constexpr int kWriters = 2;
    constexpr int kRecords = 100;
    const CTempDir dir;
    const std::string log = dir.Path("log/flash-log.jsonl");
    const auto write = [&](int writer) {
        FlashRecord record = Sample("");
        record.reason = std::string(3000, static_cast<char>('a' + writer)); // lines of some kilobytes
        bool ok = true;
        for (int k = 0; k < kRecords; ++k) {
            record.serialNumber = std::to_string(writer) + "-" + std::to_string(k);
            std::string error;
            ok = AppendFlashRecord(log, record, &error) && ok;
        }
        return ok;
    };
    if (processes) {
#ifndef _WIN32
        std::vector<pid_t> children;
        for (int w = 0; w < kWriters; ++w) {
            const pid_t child = ::fork();
            if (child == 0) {
                ::_exit(write(w) ? 0 : 1);
            }
            children.push_back(child);
        }
        for (const pid_t child : children) {
            int status = -1;
            ::waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
#endif
    } else {
        std::vector<std::jthread> threads;
        std::array<bool, kWriters> ok{};
        for (int w = 0; w < kWriters; ++w) {
            threads.emplace_back([&, w] { ok[static_cast<size_t>(w)] = write(w); });
        }
        threads.clear();
        EXPECT_EQ(std::count(ok.begin(), ok.end(), true), kWriters);
    }
    FlashLogContents contents;
    std::string error;
    ASSERT_TRUE(ReadFlashLog(log, &contents, &error)) << error;
    EXPECT_TRUE(contents.warnings.empty()) << contents.warnings.front();
    ASSERT_EQ(contents.records.size(), size_t{kWriters * kRecords});
    std::array<int, kWriters> next{};
    for (const FlashRecord& r : contents.records) {
        const int writer = r.serialNumber[0] - '0';
        ASSERT_TRUE(writer >= 0 && writer < kWriters) << r.serialNumber;
        EXPECT_EQ(r.serialNumber, std::to_string(writer) + "-" + std::to_string(next[size_t(writer)]++));
        EXPECT_EQ(r.reason, std::string(3000, static_cast<char>('a' + writer)));
    }
}

TEST(FlashLog, ThreadsAppendingAtOnceLeaveWholeLines) {
    WritersAtOnce(false);
}

#ifndef _WIN32
TEST(FlashLog, ProcessesAppendingAtOnceLeaveWholeLines) {
    WritersAtOnce(true);
}
#endif

TEST(FlashLog, TornAndBadLinesAreSkippedWithTheirNumbers) {
    const CTempDir dir;
    const std::string log = dir.Path("flash-log.jsonl");
    Append(log, Sample("A"));
    std::ofstream(log, std::ios::app | std::ios::binary) << "\n  \nnot json\n";
    Append(log, Sample("B"));
    const std::string third = FlashRecordJson(Sample("C"));
    std::ofstream(log, std::ios::app | std::ios::binary) << third.substr(0, third.size() / 2); // power cut

    FlashLogContents contents;
    std::string error;
    ASSERT_TRUE(ReadFlashLog(log, &contents, &error)) << error;
    ASSERT_EQ(contents.records.size(), 2u);
    EXPECT_EQ(contents.records[1].serialNumber, "B");
    ASSERT_EQ(contents.warnings.size(), 2u);
    EXPECT_EQ(contents.warnings[0].rfind("line 4: skipped", 0), 0u) << contents.warnings[0];
    EXPECT_EQ(contents.warnings[1].rfind("line 6: torn last line skipped", 0), 0u) << contents.warnings[1];

    // The next record starts a line of its own rather than joining the torn one.
    Append(log, Sample("D"));
    ASSERT_TRUE(ReadFlashLog(log, &contents, &error)) << error;
    ASSERT_EQ(contents.records.size(), 3u);
    EXPECT_EQ(contents.records[2].serialNumber, "D");
    ASSERT_EQ(contents.warnings.size(), 2u);
    EXPECT_EQ(contents.warnings[1].rfind("line 6: skipped", 0), 0u) << contents.warnings[1];
}

TEST(FlashLog, ALinkToTheLogIsFollowedAndFoldersAreMade) {
    const CTempDir dir;
    const std::string log = dir.Path("a/b/flash-log.jsonl");
    Append(log, Sample("A"));
    std::error_code ec;
    std::filesystem::create_symlink(log, dir.Path("link"), ec);
    if (ec) {
        GTEST_SKIP() << "no symbolic links here: " << ec.message();
    }
    Append(dir.Path("link"), Sample("B"));
    FlashLogContents contents;
    std::string error;
    ASSERT_TRUE(ReadFlashLog(log, &contents, &error)) << error;
    EXPECT_EQ(contents.records.size(), 2u);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link")));
}

TEST(FlashLog, PathsThatAreNoRegularFileAreRefusedWithoutWaiting) {
    const CTempDir dir;
    std::vector<std::string> paths = {dir.Root().string()};
#ifndef _WIN32
    // A FIFO no program has open, and a link to it: neither reading nor appending may wait for a partner.
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.Path("fifo").c_str(), dir.Path("link").c_str()), 0);
    paths.insert(paths.end(), {dir.Path("fifo"), dir.Path("link")});
#endif
    for (const std::string& path : paths) {
        FlashLogContents contents;
        std::string error;
        EXPECT_FALSE(ReadFlashLog(path, &contents, &error)) << path;
        EXPECT_FALSE(error.empty()) << path;
        error.clear();
        EXPECT_FALSE(AppendFlashRecord(path, Sample("A"), &error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(dir.Path("fifo")).type(), std::filesystem::file_type::fifo);
#endif
}

TEST(LogTime, DatesAndTimesOfTheLogsFormOnly) {
    for (const char* bad :
         {"2026-02-29", "2100-02-29", "2026-13-01", "2026-00-10", "2026-12-8", "2026-12-08T",
          "2026-12-08T24:00:00Z", "2026-12-08T10:60:00Z", "2026-12-08T10:00:00", "2026-12-08 10:00:00Z",
          "2026-12-08T10:00:00+01:00", "", "yesterday"}) {
        EXPECT_EQ(ParseUtcTime(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(ParseUtcTime("2024-02-29"), ParseUtcTime("2024-02-29T00:00:00Z"));
    EXPECT_EQ(*ParseUtcTime("2024-03-01T00:00:00Z") - *ParseUtcTime("2024-02-29T23:59:59Z"), 1);
    const int64_t before = std::time(nullptr);
    const auto now = ParseUtcTime(NowUtcIso8601());
    ASSERT_TRUE(now) << NowUtcIso8601();
    EXPECT_TRUE(*now >= before && *now <= std::time(nullptr)) << NowUtcIso8601();
#ifndef _WIN32
    // date(1) counts the seconds of a few times independently.
    for (const char* text :
         {"1970-01-01T00:00:00Z", "2000-02-29T12:34:56Z", "2026-12-08T05:40:12Z", "2099-12-31T23:59:59Z"}) {
        const CommandResult date = RunCommand(std::string("date -u -d ") + text + " +%s");
        EXPECT_EQ(std::to_string(ParseUtcTime(text).value_or(-1)) + "\n", date.out) << text;
    }
#endif
}

#ifndef _WIN32
TEST(StationNames, AsTheSystemsOwnToolsSayThem) {
    EXPECT_EQ(StationName() + "\n", RunCommand("hostname").out);
    EXPECT_EQ(OperatorName() + "\n", RunCommand("id -un").out);
}
#endif

} // namespace
