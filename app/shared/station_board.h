#pragma once

#include "fleet/fleet_report.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace dedarida {

// What a station's window says of the run as a whole: fixed when it starts,
// from the command line or the job; the operator changes none of it.
struct StationInfo {
    std::string station;  // its name
    std::string firmware; // the image sent: its file's name, or "built-in image"
    std::string sha256;   // the image's, 64 hex digits
    std::string log;      // the --log file; empty: none
    std::string job;      // the job's name; empty: none

    bool operator==(const StationInfo&) const = default;
};

// One fixture position of the station and the unit it holds, as its tile
// shows it. Texts from outside are escaped already.
struct Tile {
    enum class State {
        Running,     // its upgrade runs
        Comeback,    // its line went: waiting for it to come back
        Passed,      // "PASS", then "unplug it"
        Failed,      // "FAIL" with its reason, then "unplug it"
        Interrupted, // stopped before its end, then "unplug it"
        Waiting,     // the unit has gone: the slot waits for the next
    };

    std::string label;    // "1", "2" ...: positions numbered as first used
    std::string position; // PositionOf: the USB port path, or the device
    State state = State::Running;
    unsigned unit = 0;    // the unit of the shift it holds, counting from 1
    std::string serial;   // the adapter's serial number
    std::string identity; // the device's identity, once its record tells it
    std::string phase;    // "identity", "erasing", "programming" ...
    int percent = 0;      // of the blocks the device took
    // Whole seconds: since the unit began (its record's at its end), and left
    // while it programs; of a comeback wait, those left.
    int elapsed = 0;
    std::optional<int> remaining;
    std::optional<int> countdown;
    std::string verdict;     // "PASS", "FAIL", "INTERRUPTED"; empty before the end
    std::string reason;      // a FAIL's or an interruption's, in words
    std::string hint;        // how to recover the unit, where there is a way
    std::string instruction; // "unplug it", "waiting"
    unsigned units = 0;      // units that ended in this slot
    unsigned failures = 0;
    // Its last three units failed (interrupted ones aside): a worn fixture,
    // a bad cable or a hub port.
    bool flagged = false;

    bool operator==(const Tile&) const = default;
};

// The header: what the station runs, and its counters.
struct BoardHeader {
    StationInfo info;
    std::string shortSha256; // the first 12 hex digits
    unsigned units = 0;      // begun
    unsigned passed = 0;
    unsigned failed = 0;
    unsigned interrupted = 0;
    unsigned running = 0; // units whose upgrade has not ended
    // Among the units that passed or failed: those that passed, and those
    // that passed on their first attempt; none before the first.
    std::optional<double> yieldPercent;
    std::optional<double> firstPassYieldPercent;
    std::string notice; // the station's last line of its own

    bool operator==(const BoardHeader&) const = default;
};

struct BoardSnapshot {
    BoardHeader header;
    std::vector<Tile> tiles; // in label order; a tile keeps its place
};

// The station as a window draws it: a FleetReport that keeps, per fixture
// position, the tile of its current unit, and the header's counters. The
// fleet calls it on its thread; a window takes Snapshot on its own, as often
// as it redraws, and keeps nothing the board does not. Thread-safe.
class StationBoard : public FleetReport {
public:
    using Clock = std::chrono::steady_clock;

    explicit StationBoard(StationInfo info, std::function<Clock::time_point()> now = Clock::now);

    void UnitBegins(std::size_t row, const UnitBeginning& unit) override;
    void UnitEvent(std::size_t row, const std::string& line) override;
    void UnitProgress(std::size_t row, const ProgressSnapshot& snapshot) override;
    void UnitEnds(std::size_t row, const UpgradeSummary& summary) override;
    void UnitWaiting(std::size_t row, std::chrono::seconds window) override;
    void UnitGone(std::size_t row) override;
    void Line(const std::string& line) override;

    // The board as it stands now, times counted to now.
    BoardSnapshot Snapshot() const;
    // Units whose upgrade has not ended.
    unsigned Running() const;

private:
    // A tile and what its times are counted from.
    struct Slot {
        Tile tile;
        Clock::time_point began;
        Clock::time_point waitEnds;
        bool leftInBootloader = false;
        unsigned failedInTurn = 0;
    };

    Slot* SlotOf(std::size_t row);
    unsigned RunningLocked() const;

    const std::function<Clock::time_point()> now_;
    mutable std::mutex mutex_;
    BoardHeader header_;
    unsigned firstPass_ = 0;
    std::vector<Slot> slots_;
    std::map<std::size_t, std::size_t> slotOfRow_;
};

} // namespace dedarida
