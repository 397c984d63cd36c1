#pragma once

#include "app/headless/upgrade_report.h"

#include <cstddef>
#include <optional>
#include <string>

namespace dedarida {

// Where one upgrade stands, as its progress line shows it.
struct ProgressSnapshot {
    std::string step; // "identity", "waiting for the bootloader", "erasing", ...
    int blocksSent = 0;
    int blocksDone = 0;
    double elapsedSeconds = 0;
    std::optional<double> bytesPerSecond; // while and after programming

    int Percent() const;
    bool operator==(const ProgressSnapshot&) const = default;
};

ProgressSnapshot SnapshotOf(const UpgradeReport& report, UpgradeReport::Clock::time_point now);

// The live line, at most `width` columns: a bar, the percent, block k/86, the
// data rate against the line's limit, the time elapsed and left, the step.
std::string ProgressLine(const ProgressSnapshot& snapshot, std::size_t width);

// "progress: 40%  block 35/86  ..." for a log, one per ten percent.
std::string ProgressLogLine(const ProgressSnapshot& snapshot);

// "result: programmed (exit 0)", then what the notes hold, for example
// "; 2 blocks answered \"Verify error\"; 1 reply discarded, answering no
// request; line errors: 1 framing, 0 parity,
// 0 overrun, 0 break".
std::string ResultLine(const std::string& resultName, int exitStatus,
                       const ResultNotes& notes = {});

} // namespace dedarida
