#pragma once

#include "unit/upgrade_report.h"

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

} // namespace dedarida
