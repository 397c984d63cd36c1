#include "fleet/unit_protocol.h"

#include "text/ascii_case.h"
#include "text/json_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace dedarida {

namespace {

// A rate goes over as -1 when there is none yet.
double RateField(const std::optional<double>& rate) {
    return rate.value_or(-1.0);
}

std::optional<double> RateOf(double field) {
    return field < 0 ? std::nullopt : std::optional<double>(field);
}

// What follows `prefix` in `line`, or nothing when it does not start so.
std::optional<std::string> After(const std::string& line, const char* prefix) {
    const std::string start = prefix;
    if (!line.starts_with(start))
        return std::nullopt;
    return line.substr(start.size());
}

// Reads the numbers of a live line one by one, each followed by a space.
// Only what a child can really send is taken (no sign on counts, nothing
// beyond a year of seconds or a gigabyte a second), so a line that parses
// always prints back whole.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : rest_(text) {}

    bool Count(int& value) { return Number(value, 0, 999'999); }
    bool Seconds(double& value) { return Number(value, 0.0, 3.2e7); }
    bool Rate(double& value) { return Number(value, -1.0, 1e9); }
    std::string Rest() const { return std::string(rest_); }

private:
    template <typename T> bool Number(T& value, T lowest, T highest) {
        const char* end = rest_.data() + rest_.size();
        const auto [next, error] = std::from_chars(rest_.data(), end, value);
        if (error != std::errc() || next == end || *next != ' ' || !(value >= lowest) ||
            !(value <= highest))
            return false;
        rest_.remove_prefix(static_cast<std::size_t>(next + 1 - rest_.data()));
        return true;
    }

    std::string_view rest_;
};

bool Portable(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// A name Windows opens as a device whatever folder or extension it has.
bool DeviceName(std::string_view fileName) {
    const std::string stem = AsciiLower(std::string(fileName.substr(0, fileName.find('.'))));
    constexpr std::array<std::string_view, 4> plain = {"con", "prn", "aux", "nul"};
    if (std::find(plain.begin(), plain.end(), stem) != plain.end())
        return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
           stem[3] >= '0' && stem[3] <= '9';
}

} // namespace

std::vector<std::string> UnitArguments(const UnitSettings& settings, const std::string& port,
                                       const std::string& tag) {
    const HeadlessOptions& o = settings.options;
    std::vector<std::string> arguments = {"--upgrade",       "--supervised",
                                          "--port",          port,
                                          "--timeout",       std::to_string(o.timeout.count()),
                                          "--retries",       std::to_string(o.retries),
                                          "--expect-sha256", settings.sha256};
    const auto add = [&](const char* option, const std::string& value) {
        if (!value.empty())
            arguments.insert(arguments.end(), {option, value});
    };
    // The station upgrades a unit found in its bootloader from there.
    if (o.station)
        arguments.push_back("--recover-bootloader");
    if (o.fromBootloader)
        arguments.push_back("--from-bootloader");
    add("--firmware", o.firmwarePath);
    add("--pinned-firmware", settings.pinnedImage);
    add("--firmware-version", o.firmwareVersion);
    add("--log", o.logPath);
    add("--station-name", settings.stationName);
    add("--job-name", o.jobName);
    add("--job-sha256", o.jobSha256);
    if (!o.tracePath.empty())
        add("--trace", UnitTracePath(o.tracePath, tag));
    return arguments;
}

std::string UnitTracePath(const std::string& trace, const std::string& tag) {
    const std::size_t start = trace.find_last_of("/\\:") + 1;
    std::string name = trace.substr(start) + ".";
    for (const char c : tag)
        name += Portable(c) ? c : '_';
    return trace.substr(0, start) + (DeviceName(name) ? "_" : "") + name;
}

UpgradeSummary SummaryOf(const UpgradeReport& report, UpgradeResult result) {
    const auto now = UpgradeReport::Clock::now();
    return {ResultName(result),
            ExitStatus(result),
            std::chrono::duration<double>(now - report.Started()).count(),
            report.DataRate(now),
            report.identity,
            report.Notes(),
            report.Attempts()};
}

std::string LiveLine(const ProgressSnapshot& s) {
    char text[64];
    std::snprintf(text, sizeof text, "%d %d %.3f %.3f ", s.blocksSent, s.blocksDone,
                  s.elapsedSeconds, RateField(s.bytesPerSecond));
    return LivePrefix + std::string(text) + s.step;
}

std::optional<ProgressSnapshot> ParseLiveLine(const std::string& line) {
    const auto fields = After(line, LivePrefix);
    if (!fields)
        return std::nullopt;
    FieldReader in(*fields);
    ProgressSnapshot s;
    double rate = 0;
    if (!in.Count(s.blocksSent) || !in.Count(s.blocksDone) || !in.Seconds(s.elapsedSeconds) ||
        !in.Rate(rate))
        return std::nullopt;
    s.bytesPerSecond = RateOf(rate);
    s.step = in.Rest();
    return s;
}

std::string WaitingLine(std::chrono::seconds window) {
    return WaitingPrefix + std::to_string(window.count());
}

// No longer than any --timeout: a larger or signed number is no such line.
std::optional<std::chrono::seconds> ParseWaitingLine(const std::string& line) {
    const auto field = After(line, WaitingPrefix);
    if (!field)
        return std::nullopt;
    long seconds = 0;
    const char* end = field->data() + field->size();
    const auto [next, error] = std::from_chars(field->data(), end, seconds);
    if (error != std::errc() || next != end || seconds < 0 || seconds > 86400)
        return std::nullopt;
    return std::chrono::seconds(seconds);
}

std::optional<UpgradeSummary> ParseRecord(std::string_view record) {
    const Json value = Json::parse(record, nullptr, false);
    if (!value.is_object())
        return std::nullopt;
    try {
        UpgradeSummary s;
        s.result = value.at("result").get<std::string>();
        s.exitStatus = value.at("exitStatus").get<int>();
        s.seconds = value.at("seconds").get<double>();
        if (const Json& rate = value.at("dataRate"); rate.is_object())
            s.bytesPerSecond = rate.at("bytesPerSecond").get<double>();
        s.identity = value.at("identity").get<std::string>();
        s.notes.verifyErrors = value.at("verifyErrors").get<int>();
        s.notes.commandErrors = value.at("commandErrors").get<int>();
        s.notes.mismatchedReplies = value.at("mismatchedReplies").get<int>();
        const Json& line = value.at("lineErrors");
        s.notes.lineErrors = {
            line.at("framing").get<std::uint32_t>(), line.at("parity").get<std::uint32_t>(),
            line.at("overrun").get<std::uint32_t>(), line.at("breaks").get<std::uint32_t>()};
        s.attempts = value.at("attempts").get<int>();
        return s;
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

} // namespace dedarida
