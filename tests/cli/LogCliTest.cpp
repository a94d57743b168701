// brenwick-cli log run by a shell against a flash log that the library wrote: which records each option
// picks, the JSON Lines read back by jq and the CSV by python3's csv module (parsers no one here wrote), logs
// that are missing, torn or no regular file, and where the log is looked for by default.
#include "station/FlashLog.h"
#include "support/CaseName.h"
#include "support/CliProgram.h"
#include "support/RunCommand.h"

#include <gtest/gtest.h>

using brenwick::station::FlashRecord;

namespace {

FlashRecord Record(const char* time, const char* serial, const char* result, const char* reason,
                   const char* firmware) {
    FlashRecord r;
    r.time = time;
    r.station = "line-3";
    r.port = "/dev/ttyACM0";
    r.serialNumber = serial;
    r.passed = std::string(result) == "OK";
    r.result = result;
    r.reason = reason;
    r.firmware = firmware;
    r.bytesSent = 24832;
    r.seconds = 3.25;
    return r;
}

struct LogCase {
    const char* name;
    const char* tool;    // what the check needs besides the program ("" for nothing)
    std::string command; // run by bash in the log's folder; CLI stands for the program, LOG for CLI log --log
    int status;
    std::string out; // all of standard output
    std::string errPart;
    friend void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }
};

class LogCommand : public ::testing::TestWithParam<LogCase> {};

TEST_P(LogCommand, PicksAndShowsTheRecords) {
    const LogCase& c = GetParam();
    if (*c.tool != '\0' && RunCommand(std::string("command -v ") + c.tool).status != 0) {
        GTEST_SKIP() << c.tool << " is not installed";
    }
    CTempDir dir;
    for (const FlashRecord& r : {
             Record("2026-12-01T10:00:00Z", "SN-1", "OK", "", "/srv/fw/a.hex"),
             Record("2026-12-07T23:59:59Z", "SN-2", "Programming Error", "page 5 refused",
                    "C:\\fw\\b,\"q\".hex"),
             Record("2026-12-08T00:00:00Z", "SN-1", "Not Connected", "line one\nline \"two\", end", "c.hex"),
             Record("2026-12-09T08:00:00Z", "SN-10", "OK", "", "fw/d.bin"),
         }) {
        std::string error;
        ASSERT_TRUE(brenwick::station::AppendFlashRecord(dir.Path("flash-log.jsonl"), r, &error)) << error;
    }
    // The CSV's oracle: every row holds the fields of its line of the log, as JSON writes them.
    dir.Write("csv-check.py", "import csv, json\n"
                              "rows = list(csv.reader(open('out.csv', newline='')))\n"
                              "logged = [json.loads(l) for l in open('flash-log.jsonl')]\n"
                              "assert rows[0] == list(logged[0].keys()), rows[0]\n"
                              "text = lambda v: v if isinstance(v, str) else json.dumps(v)\n"
                              "assert rows[1:] == [[text(v) for v in r.values()] for r in logged], rows\n"
                              "print(len(rows))\n");
    std::string command = "set -o pipefail\n" + c.command;
    for (auto at = command.find("LOG"); at != std::string::npos; at = command.find("LOG")) {
        command.replace(at, 3, "CLI log --log flash-log.jsonl");
    }
    // A hang is caught without timing anything: a run that takes milliseconds is killed after a minute.
    for (auto at = command.find("CLI"); at != std::string::npos; at = command.find("CLI")) {
        command.replace(at, 3, "timeout -s KILL 60 " + ShellQuote(CliProgram()));
    }
    const CommandResult r =
        RunCommand("cd " + ShellQuote(dir.Root().string()) + " && bash -c " + ShellQuote(command));
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_EQ(r.out, c.out) << r.err;
    EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
}

const std::string kTimes[] = {"2026-12-01T10:00:00Z\n", "2026-12-07T23:59:59Z\n", "2026-12-08T00:00:00Z\n",
                              "2026-12-09T08:00:00Z\n"};

INSTANTIATE_TEST_SUITE_P(
    Cli, LogCommand,
    ::testing::Values(
        LogCase{"serial_exact", "jq", "LOG --serial SN-1 --json | jq -r .time", 0, kTimes[0] + kTimes[2], ""},
        LogCase{"since_day", "jq", "LOG --since 2026-12-08 --json | jq -r .time", 0, kTimes[2] + kTimes[3],
                ""},
        LogCase{"since_time_inclusive", "jq", "LOG --since=2026-12-07T23:59:59Z --json | jq -r .time", 0,
                kTimes[1] + kTimes[2] + kTimes[3], ""},
        LogCase{"failed", "jq", "LOG --failed --json | jq -r .serial_number", 0, "SN-2\nSN-1\n", ""},
        LogCase{"all_options", "jq", "LOG --failed --serial SN-1 --since 2026-12-02 --json | jq -r .time", 0,
                kTimes[2], ""},
        LogCase{"json_lines_as_logged", "jq", "diff <(LOG --json | jq -c .) <(jq -c . flash-log.jsonl)", 0,
                "", ""},
        LogCase{"csv_every_field", "python3", "LOG --csv > out.csv && python3 csv-check.py", 0, "5\n", ""},
        // The table's fourth column is the firmware's file name alone, from either system's paths.
        LogCase{"table_file_names", "", "LOG | awk '{ print $4 }'", 0,
                "FIRMWARE\na.hex\nb,\"q\".hex\nc.hex\nd.bin\n", ""},
        LogCase{"nothing_matches", "", "LOG --serial SN-3", 0, "", "no records match"},
        LogCase{"impossible_date", "", "LOG --since 2026-02-29", 2, "", "--since takes a date"},
        LogCase{"time_without_zone", "", "LOG --since 2026-12-08T10:00:00", 2, "", "--since takes a date"},
        LogCase{"csv_and_json", "", "LOG --csv --json", 2, "", "cannot be given together"},
        LogCase{"unknown_option", "", "LOG --bogus", 2, "", "unexpected argument '--bogus'"},
        LogCase{"missing_log", "", "CLI log --log none.jsonl --csv | wc -l", 0, "1\n",
                "none.jsonl: no flash log yet"},
        LogCase{"fifo", "", "mkfifo p && CLI log --log p", 3, "", "p: not a regular file"},
        LogCase{"folder", "", "mkdir d && CLI log --log d", 3, "", "d: is a folder"},
        LogCase{"torn_last_line", "", "printf '{\"time\":' >> flash-log.jsonl && LOG --csv | wc -l", 0, "6\n",
                "flash-log.jsonl: line 5: torn last line skipped"},
        LogCase{"bad_line", "", "echo '{\"passed\":1}' >> flash-log.jsonl && LOG | wc -l", 0, "5\n",
                "line 5: skipped: \"passed\" is not true or false"},
        LogCase{"xdg_state_home", "",
                "mkdir -p st/brenwick && mv flash-log.jsonl st/brenwick && XDG_STATE_HOME=$PWD/st CLI log | "
                "wc -l",
                0, "5\n", ""},
        // A relative XDG_STATE_HOME is ignored: XDG base directories must be absolute.
        LogCase{
            "home_folder", "",
            "mkdir -p h/.local/state/brenwick && mv flash-log.jsonl h/.local/state/brenwick && HOME=$PWD/h "
            "XDG_STATE_HOME=st CLI log | wc -l",
            0, "5\n", ""}),
    CaseName<LogCase>);

} // namespace
