#include "app/headless/unit_runner.h"

#include "app/headless/printable_text.h"
#include "app/headless/progress_line.h"
#include "app/headless/upgrade_report.h"

namespace dedarida {

UnitRunner::UnitRunner(ProgressOutput& output, Finished finished)
    : output_(output), finished_(std::move(finished)) {}

void UnitRunner::Launch(std::size_t row, const std::string& port,
                        const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"dedarida"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto process = processes_.Start(ThisProgram(), argv);
    if (!process) {
        Crashed({row, port, {}, {}}, "cannot be started");
        return;
    }
    units_[*process] = {row, port, {}, {}};
}

void UnitRunner::Run(const std::function<bool()>& done) {
    processes_.Follow(
        [this](std::size_t process, ChildProcesses::Stream stream, std::string_view bytes) {
            Unit& unit = units_[process];
            if (stream == ChildProcesses::Stream::Output) {
                unit.recordText += bytes;
                return;
            }
            unit.partialLine += bytes;
            TakeLines(unit);
        },
        [this](std::size_t process, const ChildProcesses::End& end) { Reap(process, end); }, done);
}

void UnitRunner::TakeLines(Unit& unit) {
    std::size_t end;
    while ((end = unit.partialLine.find('\n')) != std::string::npos) {
        const std::string line = unit.partialLine.substr(0, end);
        unit.partialLine.erase(0, end + 1);
        if (const auto snapshot = ParseLiveLine(line))
            output_.Update(unit.row, *snapshot);
        else
            output_.Event(unit.row, Printable(line));
    }
}

// A record is believed only with the exit status the process really ended
// with: no line a device made the child print can stand in for either.
void UnitRunner::Reap(std::size_t process, const ChildProcesses::End& end) {
    const auto entry = units_.find(process);
    const Unit unit = std::move(entry->second);
    units_.erase(entry);
    if (const auto summary = ParseRecord(unit.recordText);
        summary && end.exitStatus == summary->exitStatus) {
        output_.Result(unit.row, ResultLine(summary->result, summary->exitStatus, summary->notes));
        std::string record = unit.recordText;
        while (!record.empty() && record.back() == '\n')
            record.pop_back();
        finished_(unit.row, *summary, record);
        return;
    }
    Crashed(unit, end.exitStatus
                      ? "ended without its result (exit " + std::to_string(*end.exitStatus) + ")"
                      : end.otherwise);
}

void UnitRunner::Crashed(const Unit& unit, const std::string& why) {
    output_.Event(unit.row, "error: the upgrade's process " + why);
    UpgradeReport report(UpgradeReport::Identity);
    report.port = unit.port;
    report.Finish(UpgradeResult::Crashed);
    const UpgradeSummary summary = SummaryOf(report, UpgradeResult::Crashed);
    output_.Result(unit.row, ResultLine(summary.result, summary.exitStatus, summary.notes));
    finished_(unit.row, summary, report.Json());
}

} // namespace dedarida
