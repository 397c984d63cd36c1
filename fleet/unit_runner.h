#pragma once

#include "fleet/fleet_report.h"
#include "fleet/unit_protocol.h"
#include "process/child_processes.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace dedarida {

// Runs upgrades, each in a process of this executable of its own
// (`--supervised`), and reports them, one row each: the lines each prints
// and its live progress. What a finished one recorded comes back as its
// summary, with the exit status its process really ended with; one that
// ended without its record is "crashed" and gets a record of its own, in the
// log too. With --on-unit each record then goes to that program, which runs
// beside the upgrades and holds none back. Main thread only, except Post.
class UnitRunner {
public:
    struct Events {
        // A finished upgrade: its row, its summary and its JSON record.
        std::function<void(std::size_t row, const UpgradeSummary& summary,
                           const std::string& record)>
            finished;
        // The unit of `row` is on this device now (as Printable shows it).
        std::function<void(std::size_t row, const std::string& device)> moved;
        // The --on-unit program of the unit once in `row` has ended.
        std::function<void(std::size_t row, const HookEnd& hook)> hookEnded = {};
    };

    UnitRunner(FleetReport& report, const UnitSettings& settings, Events events);

    // Starts the upgrade of the unit on `port` (see UnitArguments) in row
    // `row` of the output; `usbSerial` is its adapter's, for a record made
    // for it, and `number` the station's count of it. When it cannot be
    // started, it finishes at once as crashed.
    void Launch(std::size_t row, const std::string& port, const std::string& tag,
                const std::string& usbSerial = {}, unsigned number = 0);
    // Follows the upgrades and their --on-unit programs until `done` holds
    // with none running.
    void Run(const std::function<bool()>& done = [] { return true; });
    // Any thread: runs `routine` inside Run.
    void Post(std::function<void()> routine) { processes_.Post(std::move(routine)); }
    bool Interrupted() const { return processes_.Interrupted(); }
    // Any thread: as Ctrl-C, passed on to every upgrade.
    void Interrupt() { processes_.Interrupt(); }

private:
    struct Unit {
        std::size_t row;
        std::string port;
        std::string usbSerial;
        std::string partialLine; // of its standard error
        std::string recordText;  // its standard output
        bool overflowed = false; // printed more than any record is long
        unsigned number = 0;
    };
    // An --on-unit program running for the unit once in `row`.
    struct Hook {
        std::size_t row;
        std::string port; // as the rows show it
        unsigned number;
    };
    void Take(Unit& unit, ChildProcesses::Stream stream, std::string_view bytes);
    void TakeLine(const Unit& unit, std::string line);
    void Reap(std::size_t process, const ChildProcesses::End& end);
    void Crashed(const Unit& unit, const std::string& why);
    void StartHook(const Unit& unit, const std::string& record);
    void HookEnded(const Hook& hook, HookEnd end);

    FleetReport& report_;
    const UnitSettings& settings_;
    Events events_;
    // Made before any child starts, as its interrupt handling needs.
    ChildProcesses processes_;
    std::map<std::size_t, Unit> units_; // running ones, by process number
    std::map<std::size_t, Hook> hooks_; // running --on-unit programs, by process number
};

} // namespace dedarida
