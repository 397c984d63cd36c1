#pragma once

#include "app/headless/progress_line.h"

#include <optional>
#include <string>
#include <string_view>

namespace dedarida {

// What an upgrade run for a supervisor (one process per port) tells it
// besides its ordinary lines: its progress as live lines on standard error,
// and its JSON record on standard output, from which the supervisor fills in
// the summary table. Device texts reach neither as lines of their own, and the
// exit status is the process's, never a line's.
inline constexpr const char* LivePrefix = "live: ";

// One upgrade's row of the summary table.
struct UpgradeSummary {
    std::string result; // ResultName
    int exitStatus = 0;
    double seconds = 0;
    std::optional<double> bytesPerSecond;
    std::string identity;
    ResultNotes notes;
};

UpgradeSummary SummaryOf(const UpgradeReport& report, UpgradeResult result);

std::string LiveLine(const ProgressSnapshot& snapshot);
std::optional<ProgressSnapshot> ParseLiveLine(const std::string& line);

// The summary a record (UpgradeReport::Json) gives; nothing when `record` is
// not such a record.
std::optional<UpgradeSummary> ParseRecord(std::string_view record);

} // namespace dedarida
