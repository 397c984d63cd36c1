#include "app/headless/supervised_lines.h"

#include <cstdio>

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

} // namespace

UpgradeSummary SummaryOf(const UpgradeReport& report, UpgradeResult result) {
    const auto now = UpgradeReport::Clock::now();
    return {ResultName(result), ExitStatus(result),
            std::chrono::duration<double>(now - report.Started()).count(), report.DataRate(now),
            report.identity};
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
    ProgressSnapshot s;
    double rate = 0;
    int used = 0;
    if (std::sscanf(fields->c_str(), "%d %d %lf %lf %n", &s.blocksSent, &s.blocksDone,
                    &s.elapsedSeconds, &rate, &used) != 4)
        return std::nullopt;
    s.bytesPerSecond = RateOf(rate);
    s.step = fields->substr(static_cast<std::size_t>(used));
    return s;
}

std::string SummaryLine(const UpgradeSummary& s) {
    char text[64];
    std::snprintf(text, sizeof text, "%d %.3f %.3f ", s.exitStatus, s.seconds,
                  RateField(s.bytesPerSecond));
    return SummaryPrefix + std::string(text) + s.result + " " + s.identity;
}

std::optional<UpgradeSummary> ParseSummaryLine(const std::string& line) {
    const auto fields = After(line, SummaryPrefix);
    if (!fields)
        return std::nullopt;
    UpgradeSummary s;
    double rate = 0;
    int used = 0;
    char result[32] = {};
    if (std::sscanf(fields->c_str(), "%d %lf %lf %31s%n", &s.exitStatus, &s.seconds, &rate, result,
                    &used) != 4)
        return std::nullopt;
    s.result = result;
    s.bytesPerSecond = RateOf(rate);
    const auto rest = static_cast<std::size_t>(used);
    s.identity = rest < fields->size() ? fields->substr(rest + 1) : std::string();
    return s;
}

} // namespace dedarida
