#pragma once

#include "app/headless/progress_line.h"

#include <optional>
#include <string>

namespace dedarida {

// The lines an upgrade run for a supervisor (one process per port) writes
// besides its ordinary ones, so that the supervisor can draw its progress and
// fill in the summary table.
inline constexpr const char* LivePrefix = "live: ";
inline constexpr const char* SummaryPrefix = "summary: ";

// One upgrade's row of the summary table.
struct UpgradeSummary {
    std::string result; // ResultName
    int exitStatus = 0;
    double seconds = 0;
    std::optional<double> bytesPerSecond;
    std::string identity;
};

UpgradeSummary SummaryOf(const UpgradeReport& report, UpgradeResult result);

std::string LiveLine(const ProgressSnapshot& snapshot);
std::optional<ProgressSnapshot> ParseLiveLine(const std::string& line);

std::string SummaryLine(const UpgradeSummary& summary);
std::optional<UpgradeSummary> ParseSummaryLine(const std::string& line);

} // namespace dedarida
