#pragma once

#include "app/headless/supervised_lines.h"

#include <cstdio>

namespace dedarida {

// Upgrades every port of `options` at once, each in a process of this
// executable of its own (`--supervised`), so that one device's fault cannot
// touch another's upgrade. Shows their lines and progress on `out`, one row
// per port, then the summary table; under --json prints one array of the
// records on standard output. Ctrl-C stops every upgrade. Returns 0 when
// every device succeeded, else the status of the first port that failed.
int SuperviseUpgrades(const UnitSettings& settings, std::FILE* out);

} // namespace dedarida
