#include "app/cli/job_file.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using dedarida::ApplyJob;
using dedarida::EJobRefused;
using dedarida::HeadlessOptions;
using dedarida::Job;
using dedarida::ParseJob;
namespace fs = std::filesystem;

const std::string Hash = "9f2c" + std::string(60, '0');

// A job that parses, with `more` (",key: value" pairs) added to its object.
std::string JobText(const std::string& more = R"(, "ports": ["COM5"])") {
    return R"({"name": "line-3", "firmware": {"sha256": ")" + Hash + R"("})" + more + "}";
}

std::string Refusal(const std::string& text) {
    try {
        ParseJob(text, "/srv/line-3");
    } catch (const EJobRefused& refusal) {
        return refusal.what();
    }
    return "(accepted)";
}

struct Refused {
    const char* name;
    std::string text;
    std::string reason;
};

void PrintTo(const Refused& row, std::ostream* out) {
    *out << row.name;
}

class JobFileRefusals : public ::testing::TestWithParam<Refused> {};

TEST_P(JobFileRefusals, NameTheKey) {
    EXPECT_EQ(Refusal(GetParam().text), GetParam().reason);
}

const std::string Locked =
    "a job is locked: only --json, --quiet, --trace and --window may be added";

INSTANTIATE_TEST_SUITE_P(
    Text, JobFileRefusals,
    ::testing::Values(
        Refused{"Empty", " \r\n", "the file is empty"},
        Refused{"NoJson", "{\"name\": \"x\",\n  }", "no JSON: a syntax error at line 2, column 3"},
        Refused{"NoObject", "[1]", "a job is a JSON object"},
        Refused{"UnknownKey", JobText(R"(, "firmwar": {})"), R"(unknown key "firmwar")"},
        Refused{"UnknownKeyEscaped", JobText(R"(, "\u001b[2J": 1)"), R"(unknown key "\x1B[2J")"},
        Refused{"UnknownFirmwareKey",
                R"({"name": "a", "ports": ["COM5"], "firmware": {"sha256": ")" + Hash +
                    R"(", "size": 1}})",
                R"(unknown key "firmware.size")"},
        Refused{"KeyTwice", JobText(R"(, "ports": ["COM5"], "retries": 3, "retries": 1)"),
                R"("retries" is given twice)"},
        Refused{"FirmwareKeyTwice",
                R"({"name": "a", "ports": ["COM5"], "firmware": {"file": "a.bin", "sha256": ")" +
                    Hash + R"(", "file": "b.bin"}})",
                R"("firmware.file" is given twice)"},
        Refused{"NoName", R"({"ports": ["COM5"], "firmware": {"sha256": ")" + Hash + R"("}})",
                R"("name" is missing)"},
        Refused{"NameNoString", R"({"name": 5})", R"("name" must be a string)"},
        Refused{"NameEmpty", R"({"name": ""})", R"("name" must not be empty)"},
        Refused{"NameWithNul", R"({"name": "a\u0000b"})",
                R"("name" must not hold a NUL character)"},
        Refused{"NoFirmware", R"({"name": "a", "ports": ["COM5"]})",
                R"("firmware.sha256" is missing)"},
        Refused{"FirmwareNoObject", R"({"name": "a", "firmware": "fw.bin"})",
                R"("firmware" must be an object)"},
        Refused{"NoHash", R"({"name": "a", "firmware": {"file": "fw.bin"}})",
                R"("firmware.sha256" is missing)"},
        Refused{"ShortHash", R"({"name": "a", "firmware": {"sha256": "9f2c"}})",
                R"("firmware.sha256" must be the 64 hex digits of a SHA-256)"},
        Refused{"FileNoString",
                R"({"name": "a", "firmware": {"sha256": ")" + Hash + R"(", "file": ["x"]}})",
                R"("firmware.file" must be a string)"},
        Refused{"VersionWithoutFile",
                R"({"name": "a", "firmware": {"sha256": ")" + Hash + R"(", "version": "v4"}})",
                R"("firmware.version" names the version of a "firmware.file")"},
        Refused{"NoPortsNoStation", JobText(""),
                R"(a job upgrades the devices of its "ports", or runs a "station")"},
        Refused{"PortsNoList", JobText(R"(, "ports": "COM5")"),
                R"("ports" must be a list of ports)"},
        Refused{"PortNoString", JobText(R"(, "ports": [5])"), R"("ports" must be a string)"},
        Refused{"PortTwice", JobText(R"(, "ports": ["COM5", "COM5"])"),
                R"("ports" names COM5 twice)"},
        Refused{"PortMalformed", JobText(R"(, "ports": ["usb:04"])"),
                R"("ports": --port usb:04: give usb:VID:PID or usb:VID:PID:SERIAL, with VID and )"
                R"(PID as four hex digits (as --list-ports shows them))"},
        Refused{"StationOnADevicePath", JobText(R"(, "station": "s", "ports": ["/dev/ttyUSB0"])"),
                R"("ports" of a station are usb:VID:PID[:SERIAL] or usb-path:PATH filters, )"
                R"(not /dev/ttyUSB0)"},
        Refused{"StationNoString", JobText(R"(, "station": true)"),
                R"("station" must be a string)"},
        Refused{"RetriesTooMany", JobText(R"(, "ports": ["COM5"], "retries": 10)"),
                R"("retries" must be a number from 0 to 9)"},
        Refused{"RetriesNegative", JobText(R"(, "ports": ["COM5"], "retries": -1)"),
                R"("retries" must be a number from 0 to 9)"},
        Refused{"RetriesFraction", JobText(R"(, "ports": ["COM5"], "retries": 1.5)"),
                R"("retries" must be a number from 0 to 9)"},
        Refused{"RetriesText", JobText(R"(, "ports": ["COM5"], "retries": "1")"),
                R"("retries" must be a number from 0 to 9)"},
        Refused{"TimeoutZero", JobText(R"(, "ports": ["COM5"], "timeout": 0)"),
                R"("timeout" must be a number of seconds from 1 to 86400)"},
        Refused{"LogNoString", JobText(R"(, "ports": ["COM5"], "log": 1)"),
                R"("log" must be a string)"},
        Refused{"OnUnitNoString", JobText(R"(, "ports": ["COM5"], "onUnit": ["a", "b"])"),
                R"("onUnit" must be a string)"},
        Refused{"OnUnitTimeoutAlone", JobText(R"(, "ports": ["COM5"], "onUnitTimeout": 5)"),
                R"("onUnitTimeout" bounds the program of "onUnit")"},
        Refused{"OnUnitTimeoutZero",
                JobText(R"(, "ports": ["COM5"], "onUnit": "h", "onUnitTimeout": 0)"),
                R"("onUnitTimeout" must be a number of seconds from 1 to 86400)"},
        Refused{"FromBootloaderNoBool", JobText(R"(, "ports": ["COM5"], "fromBootloader": 1)"),
                R"("fromBootloader" must be true or false)"},
        Refused{"FromBootloaderAtAStation", JobText(R"(, "station": "s", "fromBootloader": true)"),
                R"("fromBootloader" does not go with "station", which finds devices in their )"
                R"(bootloader by itself)"}),
    [](const auto& row) { return std::string(row.param.name); });

// The command line `arguments` under `job`, or the refusal.
struct Applied {
    HeadlessOptions options;
    std::string refusal;
};

Applied Apply(const std::string& job, std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), {"dedarida", "--job", "/srv/line-3/job.json"});
    std::string error;
    const auto commandLine =
        dedarida::ParseHeadlessOptions(static_cast<int>(arguments.size()), arguments.data(), error);
    EXPECT_TRUE(commandLine) << error;
    Applied applied;
    try {
        applied.options = ApplyJob(ParseJob(job, "/srv/line-3"), *commandLine);
    } catch (const EJobRefused& refusal) {
        applied.refusal = refusal.what();
    }
    return applied;
}

TEST(JobFile, AStationJobSetsEveryOptionItNamesWithPathsFromItsFolder) {
    const Applied applied = Apply(R"({"name": "line-3 fw 4.5.1",
                  "firmware": {"file": "fw451.s28", "sha256": "9F2C)" +
                                      std::string(60, '0') + R"(", "version": "v4.5.1"},
                  "ports": ["usb:0403:6001"], "retries": 1, "timeout": 60,
                  "station": "line-3", "log": "units.jsonl",
                  "onUnit": "label.sh", "onUnitTimeout": 1})",
                                  {"--quiet", "--window"});
    ASSERT_EQ(applied.refusal, "");
    const HeadlessOptions& o = applied.options;
    EXPECT_EQ(o.jobName, "line-3 fw 4.5.1");
    EXPECT_EQ(o.jobSha256.size(), 64u);
    EXPECT_EQ(o.expectSha256, Hash);
    EXPECT_EQ(fs::path(o.firmwarePath), fs::path("/srv/line-3/fw451.s28"));
    EXPECT_EQ(o.firmwareVersion, "v4.5.1");
    EXPECT_EQ(o.ports, std::vector<std::string>{"usb:0403:6001"});
    EXPECT_EQ(o.retries, 1);
    EXPECT_EQ(o.timeout.count(), 60);
    EXPECT_TRUE(o.station);
    EXPECT_FALSE(o.upgrade);
    EXPECT_EQ(o.stationName, "line-3");
    EXPECT_EQ(fs::path(o.logPath), fs::path("/srv/line-3/units.jsonl"));
    EXPECT_EQ(fs::path(o.onUnit), fs::path("/srv/line-3/label.sh"));
    EXPECT_EQ(o.onUnitTimeout.count(), 1);
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.window);
}

TEST(JobFile, AnUpgradeJobTakesOnlyChoicesOfOutputAndKeepsAbsolutePaths) {
    const std::string job = JobText(R"(, "ports": ["COM5", "COM6"], "fromBootloader": true,
                                        "log": "/var/log/units.jsonl")");
    const Applied applied = Apply(job, {"--json", "--trace", "t.trace"});
    ASSERT_EQ(applied.refusal, "");
    const HeadlessOptions& o = applied.options;
    EXPECT_TRUE(o.upgrade);
    EXPECT_FALSE(o.station);
    EXPECT_TRUE(o.fromBootloader);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.tracePath, "t.trace");
    EXPECT_EQ(o.retries, 0);
    EXPECT_EQ(o.firmwarePath, "");
    EXPECT_EQ(fs::path(o.logPath), fs::path("/var/log/units.jsonl"));
    EXPECT_EQ(o.ports, (std::vector<std::string>{"COM5", "COM6"}));
}

TEST(JobFile, ARelativeFileOfAJobInTheCurrentFolderStaysRelative) {
    const Job job =
        ParseJob(R"({"name": "a", "ports": ["COM5"], "firmware": {"file": "fw.bin", "sha256": ")" +
                     Hash + R"("}})",
                 "");
    EXPECT_EQ(job.options.firmwarePath, "fw.bin");
}

TEST(JobFile, ALockedOptionIsRefusedByName) {
    const std::string job = JobText(R"(, "ports": ["COM5"], "retries": 1)");
    const std::vector<std::pair<std::vector<const char*>, std::string>> rows = {
        {{"--retries", "2"}, "the job sets --retries itself; " + Locked},
        {{"--upgrade"}, "the job sets --upgrade itself; " + Locked},
        {{"--port", "COM5"}, "the job sets --port itself; " + Locked},
        {{"--quiet", "--timeout", "5"}, "--timeout cannot be added; " + Locked},
        {{"--firmware", "fw.bin"}, "--firmware cannot be added; " + Locked},
        {{"--expect-sha256", Hash.c_str()}, "the job sets --expect-sha256 itself; " + Locked},
        {{"--list-ports"}, "--list-ports cannot be added; " + Locked},
        {{"--job-name", "other"}, "--job-name cannot be added; " + Locked},
        {{"--on-unit", "h"}, "--on-unit cannot be added; " + Locked},
    };
    for (const auto& [arguments, refusal] : rows)
        EXPECT_EQ(Apply(job, arguments).refusal, refusal) << arguments.front();
}

TEST(JobFile, OptionsThatDoNotGoTogetherAreRefusedAfterTheJobIsApplied) {
    EXPECT_EQ(Apply(JobText(R"(, "station": "s")"), {"--json"}).refusal,
              "--station writes a record per unit with --log FILE, not --json");
    EXPECT_EQ(Apply(JobText(R"(, "ports": ["COM5"])"), {"--window"}).refusal,
              "--window shows the station: it goes with --station");
}

} // namespace
