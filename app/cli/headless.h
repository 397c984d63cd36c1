#pragma once

#include "app/shared/station_board.h"
#include "fleet/unit_protocol.h"

namespace dedarida {

// What `--station --window` runs: the platform's station window (see
// station_window.h); returns the exit status.
using StationWindowFront = int (*)(const UnitSettings& settings, const StationInfo& info);

// `dedarida --upgrade --port PORT ...`: one upgrade without a window, through
// the same controller as the window, or the station, as lines or in
// `stationWindow`. Returns the exit status.
int RunHeadless(int argc, const char* const* argv, StationWindowFront stationWindow);

} // namespace dedarida
