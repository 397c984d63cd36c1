#pragma once

#include "app/cli/progress_output.h"
#include "fleet/fleet_report.h"

#include <cstddef>

namespace dedarida {

// The fleet drawn as lines, a row per unit; on the station also each unit's
// plugging in and its PASS or FAIL, which even --quiet shows.
class FleetLines : public FleetReport {
public:
    FleetLines(ProgressOutput& output, bool station) : output_(output), station_(station) {}

    void UnitBegins(std::size_t row, const UnitBeginning& unit) override;
    void UnitEvent(std::size_t row, const std::string& line) override { output_.Event(row, line); }
    void UnitProgress(std::size_t row, const ProgressSnapshot& snapshot) override {
        output_.Update(row, snapshot);
    }
    void UnitEnds(std::size_t row, const UpgradeSummary& summary) override;
    void Line(const std::string& line) override { output_.Line(line); }

private:
    ProgressOutput& output_;
    const bool station_;
    std::size_t rows_ = 0;
};

} // namespace dedarida
