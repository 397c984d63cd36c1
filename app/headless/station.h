#pragma once

#include "app/headless/supervised_lines.h"

#include <cstdio>

namespace dedarida {

// `dedarida --station`: upgrades every USB serial adapter that is plugged in
// (those --port filters name, or every one), each in a process of its own
// as soon as it appears, so units plugged in while others run get slots of
// their own. Says PASS or FAIL for each, waits for its removal, and goes on
// until Ctrl-C, then prints how many units passed, failed and were
// interrupted. Listens to the system for adapters; never polls. Returns 0
// when every unit passed, 1 when one failed, else 130 when one was
// interrupted.
int RunStation(const UnitSettings& settings, std::FILE* out);

} // namespace dedarida
