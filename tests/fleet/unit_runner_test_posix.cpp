// The fleet's runner following units whose process is a small script: what
// the parent believes of a unit comes from its record and its real end.
#include "fleet/unit_runner.h"
#include "unit/upgrade_report.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using namespace dedarida;

// What the runner reported, for one unit in row 0. Its scripts print lines
// on standard error and the record on standard output, as a unit does.
struct Told : FleetReport {
    void UnitBegins(std::size_t, const UnitBeginning&) override {}
    void UnitEvent(std::size_t, const std::string& line) override { events.push_back(line); }
    void UnitProgress(std::size_t, const ProgressSnapshot&) override {}
    void UnitEnds(std::size_t, const UpgradeSummary& summary) override { ends.push_back(summary); }
    void UnitWaiting(std::size_t, std::chrono::seconds window) override {
        waits.push_back(window.count());
    }
    void Line(const std::string&) override {}

    std::vector<std::string> events;
    std::vector<long> waits;
    std::vector<UpgradeSummary> ends;
    std::vector<std::string> places;
};

std::string Record(UpgradeResult result) {
    UpgradeReport report(UpgradeReport::Identity);
    report.Finish(result);
    return report.Json();
}

struct Row {
    const char* name;
    std::string script; // the unit's process
    std::string result; // as the parent believes it
    std::string event;  // one line it must have reported
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class Runner : public ::testing::TestWithParam<Row> {
protected:
    Runner() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dedarida-runner-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
    }
    ~Runner() override { std::filesystem::remove_all(dir_); }

    Told Run(const std::string& script, const std::string& program = {}) {
        const std::string path = dir_ + "/unit.sh";
        std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        UnitSettings settings{{}, "line-1", {}, "ab", program.empty() ? path : program};
        settings.options.logPath = dir_ + "/log";
        Told told;
        UnitRunner runner(
            told, settings,
            {[](std::size_t, const UpgradeSummary&, const std::string&) {},
             [&](std::size_t, const std::string& device) { told.places.push_back(device); }});
        runner.Launch(0, "COM5", "COM5", "A1");
        runner.Run();
        return told;
    }

    std::string dir_;
};

TEST_P(Runner, BelievesARecordOnlyWithItsProcesssEnd) {
    const Told told = Run(GetParam().script);
    ASSERT_EQ(told.ends.size(), 1u);
    EXPECT_EQ(told.ends[0].result, GetParam().result);
    if (!GetParam().event.empty()) {
        EXPECT_NE(std::find(told.events.begin(), told.events.end(), GetParam().event),
                  told.events.end())
            << ::testing::PrintToString(told.events);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fleet, Runner,
    ::testing::Values(Row{"ARecordAndItsStatus",
                          "echo '" + Record(UpgradeResult::Programmed) + "'; exit 0", "programmed",
                          ""},
                      Row{"ARecordItsStatusBelies",
                          "echo '" + Record(UpgradeResult::Programmed) + "'; exit 3", "crashed",
                          "error: the upgrade's process ended without its result (exit 3)"},
                      Row{"KilledOutright", "kill -9 $$", "crashed",
                          "error: the upgrade's process ended by signal 9"},
                      Row{"MoreThanARecord",
                          "head -c 70000 /dev/zero | tr '\\0' ' '; echo '" +
                              Record(UpgradeResult::Programmed) + "'",
                          "crashed", ""},
                      Row{"ALastLineWithoutItsEnd",
                          "printf 'status: last words' >&2; echo '" +
                              Record(UpgradeResult::Refused) + "'; exit 2",
                          "refused", "status: last words"},
                      Row{"AWindowsLineEnd",
                          "printf 'status: START UPGRADE\\r\\n' >&2; echo '" +
                              Record(UpgradeResult::Timeout) + "'; exit 3",
                          "timeout", "status: START UPGRADE"},
                      Row{"AControlByte", "printf 'status: a\\033[2Jb\\n' >&2; exit 1", "crashed",
                          "status: a\\x1B[2Jb"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Runner, ALineLongerThanAnyIsShownInPiecesNotKeptForEver) {
    const Told told = Run("(head -c 5000 /dev/zero | tr '\\0' x; echo) >&2; exit 1");
    ASSERT_EQ(told.events.size(), 3u) << ::testing::PrintToString(told.events);
    EXPECT_EQ(told.events[0], std::string(4096, 'x'));
    EXPECT_EQ(told.events[1], std::string(5000 - 4096, 'x'));
}

// Only a whole number of seconds is a wait; anything else is a line to show.
TEST_F(Runner, AUnitThatWaitsForItsComebackSaysHowLong) {
    const Told told = Run("printf 'waiting: 30\\nwaiting: -1\\nwaiting: 3x\\nwaiting: 86401\\n"
                          "waiting: \\n' >&2; exit 1");
    EXPECT_EQ(told.waits, std::vector<long>{30});
    EXPECT_EQ(told.events,
              (std::vector<std::string>{"waiting: -1", "waiting: 3x", "waiting: 86401", "waiting: ",
                                        "error: the upgrade's process ended without "
                                        "its result (exit 1)"}));
}

TEST_F(Runner, AUnitThatSaysWhereItIsIsFollowed) {
    const Told told = Run("echo 'at: /dev/ttyUSB3' >&2; exit 1");
    EXPECT_EQ(told.places, std::vector<std::string>{"/dev/ttyUSB3"});
}

// The station's log holds a record of every unit, also one whose process
// never ran.
TEST_F(Runner, AUnitWhoseProcessCannotStartIsLoggedCrashed) {
    const Told told = Run("", dir_ + "/missing");
    ASSERT_EQ(told.ends.size(), 1u);
    EXPECT_EQ(told.ends[0].result, "crashed");
    std::ifstream log(dir_ + "/log");
    std::string line;
    ASSERT_TRUE(std::getline(log, line));
    const auto record = nlohmann::json::parse(line);
    EXPECT_EQ(record["result"], "crashed");
    EXPECT_EQ(record["usbSerial"], "A1");
    EXPECT_EQ(record["station"], "line-1");
    EXPECT_EQ(record["port"], "COM5");
    EXPECT_NE(record["reason"].get<std::string>().find(std::strerror(ENOENT)), std::string::npos)
        << line;
}

} // namespace
