#pragma once

#include "fleet/unit_hook.h"
#include "fleet/unit_protocol.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace dedarida {

// A unit the fleet begins: the port its process opens, and on the station
// which unit of the shift it is, its adapter and where it sits (PositionOf:
// the same for every unit the same fixture position takes).
struct UnitBeginning {
    std::string port;
    unsigned number = 0; // counting from 1; 0 for several ports
    std::string usbSerial;
    std::string position; // several ports: the port
};

// What a fleet tells as it runs, a row per unit (a port of several, a slot
// of the station); a front draws it, as lines or as tiles. Called on the
// fleet's thread. Texts from outside are escaped already.
class FleetReport {
public:
    virtual ~FleetReport() = default;

    // Row `row` shows this unit from now on; the station may reuse the row
    // of a unit that has gone.
    virtual void UnitBegins(std::size_t row, const UnitBeginning& unit) = 0;
    // A line the unit's process printed, or one the fleet says of the unit.
    virtual void UnitEvent(std::size_t row, const std::string& line) = 0;
    virtual void UnitProgress(std::size_t row, const ProgressSnapshot& snapshot) = 0;
    // How the unit ended, as its record and its process's exit status say.
    virtual void UnitEnds(std::size_t row, const UpgradeSummary& summary) = 0;
    // The station: the unit of `row` waits at most `window` for its adapter
    // to come back (its line went); its next progress says it is back.
    virtual void UnitWaiting(std::size_t /*row*/, std::chrono::seconds /*window*/) {}
    // The station: the finished unit of `row` has been unplugged; the row is
    // free for the next unit.
    virtual void UnitGone(std::size_t /*row*/) {}
    // A line of the fleet's own (what the station waits for, an error).
    virtual void Line(const std::string& line) = 0;
    // How the --on-unit program of the unit once in `row` ended; the row may
    // show another unit by then, so `hook` names its unit.
    virtual void HookEnds(std::size_t /*row*/, const HookEnd& hook) { Line(HookLine(hook)); }
};

} // namespace dedarida
