#include "app/cli/job_file.h"

#include "image/in_out_error.h"
#include "image/sha256.h"
#include "image/untyped_file.h"
#include "ports/port_selector.h"
#include "text/ascii_case.h"
#include "text/json_text.h"
#include "text/printable_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <span>
#include <system_error>

namespace dedarida {

namespace {

namespace fs = std::filesystem;

// A job is a few lines; anything far larger is no job.
constexpr std::uint64_t LargestJob = 64 * 1024;

// What a job leaves to whoever runs it: how the run is shown, never what it
// does.
constexpr std::array<std::string_view, 4> OutputOptions = {"--json", "--quiet", "--trace",
                                                           "--window"};

[[noreturn]] void Refuse(const std::string& reason) {
    throw EJobRefused(reason);
}

// Where the parser stopped: `byte` counts the characters it read.
std::string Where(std::string_view text, std::size_t byte) {
    const std::string_view before = text.substr(0, std::min(byte > 0 ? byte - 1 : 0, text.size()));
    const std::size_t lineStart = before.rfind('\n') + 1;
    return "line " + std::to_string(1 + std::count(before.begin(), before.end(), '\n')) +
           ", column " + std::to_string(before.size() - lineStart + 1);
}

// The JSON of `text`; a key given twice in one object is refused, since
// which of the two would hold is a guess.
Json Parsed(std::string_view text) {
    struct Level {
        std::string prefix;
        std::set<std::string> keys;
        std::string lastKey;
    };
    std::vector<Level> levels;
    std::string twice;
    const Json::parser_callback_t watch = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            levels.push_back(
                {levels.empty() ? "" : levels.back().prefix + levels.back().lastKey + ".", {}, {}});
        } else if (event == Json::parse_event_t::object_end) {
            levels.pop_back();
        } else if (event == Json::parse_event_t::key) {
            Level& level = levels.back();
            level.lastKey = parsed.get<std::string>();
            if (!level.keys.insert(level.lastKey).second && twice.empty())
                twice = level.prefix + level.lastKey;
        }
        return true;
    };
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        Refuse("the file is empty");
    Json value;
    try {
        value = Json::parse(text, watch);
    } catch (const Json::parse_error& error) {
        Refuse("no JSON: a syntax error at " + Where(text, error.byte));
    }
    if (!twice.empty())
        Refuse(Quoted(twice) + " is given twice");
    return value;
}

void OnlyKnownKeys(const Json& object, const std::string& prefix,
                   std::initializer_list<std::string_view> known) {
    for (const auto& item : object.items())
        if (std::find(known.begin(), known.end(), item.key()) == known.end())
            Refuse("unknown key " + Quoted(prefix + item.key()));
}

// No argument of a command line holds a NUL, and a path would end at it.
std::string Text(const Json& value, const std::string& key) {
    if (!value.is_string())
        Refuse(Quoted(key) + " must be a string");
    std::string text = value.get<std::string>();
    if (text.empty())
        Refuse(Quoted(key) + " must not be empty");
    if (text.find('\0') != std::string::npos)
        Refuse(Quoted(key) + " must not hold a NUL character");
    return text;
}

long Whole(const Json& value, const std::string& key, std::uint64_t low, std::uint64_t high,
           const std::string& range) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() < low ||
        value.get<std::uint64_t>() > high)
        Refuse(Quoted(key) + " must be " + range);
    return static_cast<long>(value.get<std::uint64_t>());
}

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string FromFolder(const std::string& folder, const std::string& path) {
    return Utf8(PathOf(folder) / PathOf(path));
}

void ReadFirmware(const Json& job, HeadlessOptions& o, const std::string& folder,
                  std::vector<std::string>& sets) {
    if (!job.contains("firmware"))
        Refuse(Quoted("firmware.sha256") + " is missing");
    const Json& firmware = job["firmware"];
    if (!firmware.is_object())
        Refuse(Quoted("firmware") + " must be an object");
    OnlyKnownKeys(firmware, "firmware.", {"file", "sha256", "version"});
    if (!firmware.contains("sha256"))
        Refuse(Quoted("firmware.sha256") + " is missing");
    o.expectSha256 = AsciiLower(Text(firmware["sha256"], "firmware.sha256"));
    if (!IsSha256Text(o.expectSha256))
        Refuse(Quoted("firmware.sha256") + " must be the 64 hex digits of a SHA-256");
    sets.push_back("--expect-sha256");
    if (firmware.contains("file")) {
        o.firmwarePath = FromFolder(folder, Text(firmware["file"], "firmware.file"));
        sets.push_back("--firmware");
    }
    if (firmware.contains("version")) {
        if (o.firmwarePath.empty())
            Refuse(Quoted("firmware.version") + " names the version of a " +
                   Quoted("firmware.file"));
        o.firmwareVersion = Text(firmware["version"], "firmware.version");
        sets.push_back("--firmware-version");
    }
}

void ReadPorts(const Json& ports, HeadlessOptions& o) {
    if (!ports.is_array())
        Refuse(Quoted("ports") + " must be a list of ports");
    for (const Json& port : ports) {
        const std::string text = Text(port, "ports");
        std::string error;
        const auto selector = ParsePortSelector(text, error);
        if (!selector)
            Refuse(Quoted("ports") + ": " + error);
        if (o.station && selector->kind == PortSelector::Kind::Name)
            Refuse(Quoted("ports") +
                   " of a station are usb:VID:PID[:SERIAL] or usb-path:PATH "
                   "filters, not " +
                   Printable(text));
        if (std::find(o.ports.begin(), o.ports.end(), text) != o.ports.end())
            Refuse(Quoted("ports") + " names " + Printable(text) + " twice");
        o.ports.push_back(text);
    }
}

} // namespace

Job ParseJob(std::string_view text, const std::string& folder) {
    const Json job = Parsed(text);
    if (!job.is_object())
        Refuse("a job is a JSON object");
    OnlyKnownKeys(job, "",
                  {"name", "firmware", "ports", "retries", "timeout", "station", "log",
                   "fromBootloader", "onUnit", "onUnitTimeout"});
    Job result;
    HeadlessOptions& o = result.options;
    std::vector<std::string>& sets = result.sets;
    if (!job.contains("name"))
        Refuse(Quoted("name") + " is missing");
    o.jobName = Text(job["name"], "name");
    o.jobSha256 =
        Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    ReadFirmware(job, o, folder, sets);
    if (job.contains("station")) {
        o.station = true;
        o.stationName = Text(job["station"], "station");
        sets.insert(sets.end(), {"--station", "--station-name"});
    } else {
        o.upgrade = true;
        sets.push_back("--upgrade");
    }
    if (job.contains("ports")) {
        ReadPorts(job["ports"], o);
        sets.push_back("--port");
    }
    if (o.upgrade && o.ports.empty())
        Refuse("a job upgrades the devices of its " + Quoted("ports") + ", or runs a " +
               Quoted("station"));
    if (job.contains("retries")) {
        o.retries =
            static_cast<int>(Whole(job["retries"], "retries", 0, 9, "a number from 0 to 9"));
        sets.push_back("--retries");
    }
    if (job.contains("timeout")) {
        o.timeout = std::chrono::seconds(
            Whole(job["timeout"], "timeout", 1, 86400, "a number of seconds from 1 to 86400"));
        sets.push_back("--timeout");
    }
    if (job.contains("log")) {
        o.logPath = FromFolder(folder, Text(job["log"], "log"));
        sets.push_back("--log");
    }
    if (job.contains("onUnit")) {
        o.onUnit = FromFolder(folder, Text(job["onUnit"], "onUnit"));
        sets.push_back("--on-unit");
    }
    if (job.contains("onUnitTimeout")) {
        if (o.onUnit.empty())
            Refuse(Quoted("onUnitTimeout") + " bounds the program of " + Quoted("onUnit"));
        o.onUnitTimeout = std::chrono::seconds(Whole(job["onUnitTimeout"], "onUnitTimeout", 1,
                                                     86400, "a number of seconds from 1 to 86400"));
        sets.push_back("--on-unit-timeout");
    }
    if (job.contains("fromBootloader")) {
        if (!job["fromBootloader"].is_boolean())
            Refuse(Quoted("fromBootloader") + " must be true or false");
        o.fromBootloader = job["fromBootloader"].get<bool>();
        if (o.fromBootloader && o.station)
            Refuse(Quoted("fromBootloader") + " does not go with " + Quoted("station") +
                   ", which finds devices in their bootloader by itself");
        sets.push_back("--from-bootloader");
    }
    return result;
}

HeadlessOptions ApplyJob(const Job& job, const HeadlessOptions& commandLine) {
    const std::string locked =
        "a job is locked: only --json, --quiet, --trace and --window may be added";
    for (const std::string& option : commandLine.given) {
        if (option == "--job" ||
            std::find(OutputOptions.begin(), OutputOptions.end(), option) != OutputOptions.end())
            continue;
        if (std::find(job.sets.begin(), job.sets.end(), option) != job.sets.end())
            Refuse("the job sets " + option + " itself; " + locked);
        Refuse(option + " cannot be added; " + locked);
    }
    HeadlessOptions options = job.options;
    options.json = commandLine.json;
    options.quiet = commandLine.quiet;
    options.tracePath = commandLine.tracePath;
    options.window = commandLine.window;
    options.jobPath = commandLine.jobPath;
    options.given = commandLine.given;
    if (const auto refusal = CombinationRefusal(options))
        Refuse(*refusal);
    return options;
}

Job ReadJob(const std::string& path) {
    std::string text;
    try {
        UntypedFile file;
        file.Assign(path);
        file.OpenRead();
        const std::uint64_t size = file.FileSize();
        if (size > LargestJob)
            Refuse("more than " + std::to_string(LargestJob / 1024) + " KiB; a job is a few lines");
        text.resize(static_cast<std::size_t>(size));
        text.resize(
            file.BlockRead(std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size())));
    } catch (const EInOutError& failure) {
        // The system's words, not its number: "No such file or directory".
        Refuse("cannot be read: " + std::generic_category().message(failure.ErrorCode()));
    }
    return ParseJob(text, Utf8(PathOf(path).parent_path()));
}

} // namespace dedarida
