#pragma once

#include "unit/headless_firmware.h"
#include "unit/run_options.h"
#include "unit/unit_output.h"

namespace dedarida {

// The upgrade of the one port of `options` (`--upgrade --port PORT`), shown
// through `output`: the attempts it takes (see --retries), the recovery of a device
// found in its bootloader, the result line, and the --json, --trace and
// --log records. Returns the exit status.
int UpgradeUnit(const HeadlessOptions& options, const HeadlessFirmware& firmware,
                UnitOutput& output);

} // namespace dedarida
