#pragma once

#include "fleet/fleet_report.h"
#include "fleet/unit_protocol.h"

#include <optional>
#include <string>
#include <vector>

namespace dedarida {

// One port's end: its summary and its JSON record.
struct PortResult {
    UpgradeSummary summary;
    std::string record;
    std::optional<HookEnd> hook; // with --on-unit
};

// Upgrades every port of `settings` at once, each in a process of this
// executable of its own (`--supervised`), so that one device's fault cannot
// touch another's upgrade, a row each in the order given. Ctrl-C stops
// every upgrade. Returns each port's end, in that order.
std::vector<PortResult> SuperviseUpgrades(const UnitSettings& settings, FleetReport& report);

} // namespace dedarida
