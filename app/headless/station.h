#pragma once

#include "app/headless/headless_options.h"

#include <cstdio>

namespace dedarida {

// `dedarida --station`: upgrades every USB serial adapter that is plugged in
// (those --port filters name, or every one), each in a process of its own
// as soon as it appears, so units plugged in while others run get slots of
// their own. Says PASS or FAIL for each, waits for its removal, and goes on
// until Ctrl-C, then prints how many units passed and failed. Listens to the
// system for adapters; never polls. Returns 0 when no unit failed, else 1.
int RunStation(const HeadlessOptions& options, std::FILE* out);

} // namespace dedarida
