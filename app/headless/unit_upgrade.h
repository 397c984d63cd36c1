#pragma once

#include "app/headless/headless_firmware.h"
#include "app/headless/headless_options.h"

#include <cstdio>

namespace dedarida {

// The upgrade of the one port of `options` (`--upgrade --port PORT`), shown
// on `out`: the attempts it takes (see --retries), the recovery of a device
// found in its bootloader, the result line, and the --json, --trace and
// --log records. Returns the exit status.
int UpgradeUnit(const HeadlessOptions& options, const HeadlessFirmware& firmware, std::FILE* out);

} // namespace dedarida
