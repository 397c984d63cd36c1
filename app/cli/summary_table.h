#pragma once

#include "fleet/unit_protocol.h"

#include <string>
#include <utility>
#include <vector>

namespace dedarida {

// The table that ends a several-port run: port, identity seen, result, time
// and data rate, one row per port in the order given.
std::string SummaryTable(const std::vector<std::pair<std::string, UpgradeSummary>>& rows);

} // namespace dedarida
