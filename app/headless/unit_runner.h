#pragma once

#include "app/headless/child_processes.h"
#include "app/headless/progress_output.h"
#include "app/headless/supervised_lines.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace dedarida {

// Runs upgrades, each in a process of this executable of its own
// (`--supervised`), and shows them on a ProgressOutput, one row each: the
// lines each prints, its live progress and its result. What a finished one
// recorded comes back as its summary, with the exit status its process
// really ended with; one that ended without its record is "crashed" and
// gets a record of its own. Main thread only, except Post.
class UnitRunner {
public:
    // A finished upgrade: its row, its summary and its JSON record.
    using Finished = std::function<void(std::size_t row, const UpgradeSummary& summary,
                                        const std::string& record)>;

    UnitRunner(ProgressOutput& output, Finished finished);

    // Starts the upgrade of `port` with `arguments` (without the program's
    // name) in row `row` of the output. When it cannot be started, it
    // finishes at once as crashed.
    void Launch(std::size_t row, const std::string& port,
                const std::vector<std::string>& arguments);
    // Follows the upgrades until `done` holds with none running.
    void Run(const std::function<bool()>& done = [] { return true; });
    // Any thread: runs `routine` inside Run.
    void Post(std::function<void()> routine) { processes_.Post(std::move(routine)); }
    bool Interrupted() const { return processes_.Interrupted(); }

private:
    struct Unit {
        std::size_t row;
        std::string port;
        std::string partialLine; // of its standard error
        std::string recordText;  // its standard output
    };
    void TakeLines(Unit& unit);
    void Reap(std::size_t process, const ChildProcesses::End& end);
    void Crashed(const Unit& unit, const std::string& why);

    ProgressOutput& output_;
    Finished finished_;
    // Made before any child starts, as its interrupt handling needs.
    ChildProcesses processes_;
    std::map<std::size_t, Unit> units_; // running ones, by process number
};

} // namespace dedarida
