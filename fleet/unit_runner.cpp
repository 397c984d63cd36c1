#include "fleet/unit_runner.h"

#include "text/printable_text.h"
#include "unit/progress_snapshot.h"
#include "unit/record_log.h"
#include "unit/upgrade_report.h"

namespace dedarida {

namespace {

// Far beyond a record or a line of a unit's process: what goes past it is no
// record, and a line that long is shown in pieces.
constexpr std::size_t LongestRecord = 64 * 1024;
constexpr std::size_t LongestLine = 4 * 1024;

} // namespace

UnitRunner::UnitRunner(FleetReport& report, const UnitSettings& settings, Events events)
    : report_(report), settings_(settings), events_(std::move(events)) {}

void UnitRunner::Launch(std::size_t row, const std::string& port, const std::string& tag,
                        const std::string& usbSerial, unsigned number) {
    std::vector<std::string> argv = {"dedarida"};
    const std::vector<std::string> arguments = UnitArguments(settings_, port, tag);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::string error;
    const auto process = processes_.Start(
        settings_.program.empty() ? ThisProgram() : settings_.program, argv, error);
    Unit unit{row, port, usbSerial, {}, {}, false, number};
    if (!process) {
        Crashed(unit, "cannot be started (" + error + ")");
        return;
    }
    units_[*process] = std::move(unit);
}

void UnitRunner::Run(const std::function<bool()>& done) {
    processes_.Follow(
        [this](std::size_t process, ChildProcesses::Stream stream, std::string_view bytes) {
            Take(units_[process], stream, bytes);
        },
        [this](std::size_t process, const ChildProcesses::End& end) { Reap(process, end); }, done);
}

void UnitRunner::Take(Unit& unit, ChildProcesses::Stream stream, std::string_view bytes) {
    if (stream == ChildProcesses::Stream::Output) {
        unit.overflowed = unit.overflowed || unit.recordText.size() + bytes.size() > LongestRecord;
        if (!unit.overflowed)
            unit.recordText += bytes;
        return;
    }
    for (const char c : bytes) {
        if (c != '\n') {
            unit.partialLine += c;
            if (unit.partialLine.size() < LongestLine)
                continue;
        }
        TakeLine(unit, std::move(unit.partialLine));
        unit.partialLine.clear();
    }
}

void UnitRunner::TakeLine(const Unit& unit, std::string line) {
    // A console program's text mode ends its lines so on Windows.
    if (line.ends_with('\r'))
        line.pop_back();
    if (const auto snapshot = ParseLiveLine(line)) {
        report_.UnitProgress(unit.row, *snapshot);
    } else if (const auto window = ParseWaitingLine(line)) {
        report_.UnitWaiting(unit.row, *window);
    } else if (line.starts_with(PlacePrefix)) {
        if (events_.moved)
            events_.moved(unit.row, line.substr(std::string_view(PlacePrefix).size()));
    } else {
        // Its device texts are escaped already.
        report_.UnitEvent(unit.row, WithoutControls(line));
    }
}

// A record is believed only with the exit status the process really ended
// with: no line a device made the child print can stand in for either.
void UnitRunner::Reap(std::size_t process, const ChildProcesses::End& end) {
    if (const auto entry = hooks_.find(process); entry != hooks_.end()) {
        const Hook hook = std::move(entry->second);
        hooks_.erase(entry);
        HookEnded(hook, HookEndOf(end, settings_.options.onUnitTimeout));
        return;
    }
    const auto entry = units_.find(process);
    Unit unit = std::move(entry->second);
    units_.erase(entry);
    if (!unit.partialLine.empty())
        TakeLine(unit, std::move(unit.partialLine));
    if (const auto summary = unit.overflowed ? std::nullopt : ParseRecord(unit.recordText);
        summary && end.exitStatus == summary->exitStatus) {
        std::string record = std::move(unit.recordText);
        while (!record.empty() && record.back() == '\n')
            record.pop_back();
        report_.UnitEnds(unit.row, *summary);
        events_.finished(unit.row, *summary, record);
        StartHook(unit, record);
        return;
    }
    Crashed(unit, end.exitStatus
                      ? "ended without its result (exit " + std::to_string(*end.exitStatus) + ")"
                      : end.otherwise);
}

void UnitRunner::Crashed(const Unit& unit, const std::string& why) {
    report_.UnitEvent(unit.row, "error: the upgrade's process " + why);
    UpgradeReport report(UpgradeReport::Identity);
    report.port = unit.port;
    report.usbSerial = unit.usbSerial;
    report.reason = "the upgrade's process " + why;
    report.firmwareFile = settings_.options.firmwarePath;
    report.firmwareSha256 = settings_.sha256;
    report.firmwareVersion = settings_.options.firmwareVersion;
    report.jobName = settings_.options.jobName;
    report.jobSha256 = settings_.options.jobSha256;
    const std::string& log = settings_.options.logPath;
    if (!log.empty())
        report.stationName = settings_.stationName;
    report.Finish(UpgradeResult::Crashed);
    const UpgradeSummary summary = SummaryOf(report, UpgradeResult::Crashed);
    const std::string record = report.Json();
    if (!log.empty())
        if (const std::string error = AppendRecord(log, record); !error.empty())
            report_.UnitEvent(unit.row, "error: the record could not be added to the log " +
                                            Printable(log) + " (" + error + ")");
    report_.UnitEnds(unit.row, summary);
    events_.finished(unit.row, summary, record);
    StartHook(unit, record);
}

// Beside the upgrades, as one more process: a unit plugged in meanwhile
// starts at once, whatever the program does.
void UnitRunner::StartHook(const Unit& unit, const std::string& record) {
    const HeadlessOptions& options = settings_.options;
    if (options.onUnit.empty())
        return;
    Hook hook{unit.row, Printable(unit.port), unit.number};
    std::string error;
    const auto process =
        processes_.StartProgram(HookProgram(options.onUnit, record, options.onUnitTimeout), error);
    if (!process) {
        HookEnded(hook, HookNotStarted(error));
        return;
    }
    hooks_[*process] = std::move(hook);
}

void UnitRunner::HookEnded(const Hook& hook, HookEnd end) {
    end.port = hook.port;
    end.number = hook.number;
    report_.HookEnds(hook.row, end);
    if (events_.hookEnded)
        events_.hookEnded(hook.row, end);
}

} // namespace dedarida
