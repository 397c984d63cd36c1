#pragma once

#include "app/shared/station_board.h"
#include "fleet/unit_protocol.h"

namespace dedarida {

// `dedarida --station --window`: the station run with `settings` behind a
// window of tiles drawn from a StationBoard, `info` in its header. The
// station runs on a thread of its own; closing the window while units run
// asks once, then stops them as Ctrl-C does, each with its record. Returns
// the station's exit status (StationStatus), or the window's own when it
// cannot be shown. Each platform's window defines it.
int RunStationWindow(const UnitSettings& settings, const StationInfo& info);

} // namespace dedarida
