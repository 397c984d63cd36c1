#pragma once

#include "fleet/fleet_report.h"
#include "fleet/station_stop.h"
#include "fleet/unit_protocol.h"

#include <string>

namespace dedarida {

// The units of a station's run, by how they ended.
struct StationTally {
    unsigned units = 0;
    unsigned passed = 0;
    unsigned failed = 0;
    unsigned interrupted = 0;
    // The --on-unit programs that ended, and those of them that failed.
    unsigned hooks = 0;
    unsigned hookFailures = 0;
    // Why the station could not listen for adapters; empty when it ran.
    std::string error;
};

// `dedarida --station`: upgrades every USB serial adapter that is plugged in
// (those --port filters name, or every one), each in a process of its own
// as soon as it appears, so units plugged in while others run get slots of
// their own; waits for each finished one's removal, and goes on until Ctrl-C
// or `stop`. Listens to the system for adapters; never polls.
StationTally RunStation(const UnitSettings& settings, FleetReport& report,
                        StationStop* stop = nullptr);

// The station's exit status: 1 when a unit failed, else 130 when one was
// interrupted, else 0; 1 when it could not listen for adapters.
int StationStatus(const StationTally& tally);

} // namespace dedarida
