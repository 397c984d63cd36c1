#include "app/cli/fleet_lines.h"

#include "text/printable_text.h"
#include "unit/upgrade_report.h"

namespace dedarida {

void FleetLines::UnitBegins(std::size_t row, const UnitBeginning& unit) {
    if (row < rows_) {
        output_.ResetRow(row, unit.port);
    } else {
        output_.AddRow(unit.port);
        ++rows_;
    }
    if (unit.number == 0)
        return;
    output_.Event(row, "unit " + std::to_string(unit.number) + " plugged in: " + unit.port +
                           (unit.usbSerial.empty() ? "" : " (serial " + unit.usbSerial + ")"));
}

void FleetLines::UnitEnds(std::size_t row, const UpgradeSummary& summary) {
    const std::string line = ResultLine(summary.result, summary.exitStatus, summary.notes);
    if (!station_ || summary.result == ResultName(UpgradeResult::Interrupted)) {
        output_.Result(row, line);
        return;
    }
    output_.Result(row, std::string(summary.exitStatus == 0 ? "PASS" : "FAIL") + "  " +
                            (summary.identity.empty() ? "-" : Printable(summary.identity)) + "  " +
                            summary.result + " (exit " + std::to_string(summary.exitStatus) +
                            "); unplug it");
}

} // namespace dedarida
