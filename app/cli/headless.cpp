#include "app/cli/headless.h"

#include "app/cli/checked_write.h"
#include "app/cli/fleet_lines.h"
#include "app/cli/headless_options.h"
#include "app/cli/job_file.h"
#include "app/cli/port_listing.h"
#include "app/cli/progress_output.h"
#include "app/cli/summary_table.h"
#include "app/cli/terminal.h"
#include "app/cli/unit_lines.h"
#include "fleet/pinned_image.h"
#include "fleet/port_supervisor.h"
#include "fleet/station.h"
#include "fleet/unit_hook.h"
#include "process/host_name.h"
#include "text/printable_text.h"
#include "unit/headless_firmware.h"
#include "unit/record_log.h"
#include "unit/unit_upgrade.h"
#include "unit/version_text.h"

#include <cstdio>
#include <filesystem>
#include <optional>

namespace dedarida {

namespace {

constexpr int UsageStatus = 64;

std::string Count(unsigned n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// "3 hooks run, 1 failed": how the --on-unit programs fared.
std::string HookCount(unsigned run, unsigned failed) {
    return Count(run, "hook") + " run, " + std::to_string(failed) + " failed";
}

// The station's last line; its exit status.
int EndStation(const UnitSettings& settings, const StationTally& tally, ProgressOutput& output) {
    if (!tally.error.empty()) {
        output.Diagnostic("dedarida: " + tally.error);
        return 1;
    }
    const unsigned tested = tally.passed + tally.failed;
    char yield[16] = "-";
    if (tested > 0)
        std::snprintf(yield, sizeof yield, "%.1f%%",
                      100.0 * static_cast<double>(tally.passed) / static_cast<double>(tested));
    std::string line = "\nstation " + Printable(settings.stationName) + ": " +
                       Count(tally.units, "unit") + ", " + std::to_string(tally.passed) +
                       " passed, " + std::to_string(tally.failed) + " failed, " +
                       std::to_string(tally.interrupted) + " interrupted, yield " + yield;
    if (!settings.options.onUnit.empty())
        line.append("; ").append(HookCount(tally.hooks, tally.hookFailures));
    output.Text(line.append("\n"));
    return StationStatus(tally);
}

// What the station's window shows in its header, all of it fixed here.
StationInfo InfoOf(const UnitSettings& settings, const HeadlessFirmware& firmware) {
    const HeadlessOptions& o = settings.options;
    std::string image = "built-in image";
    if (firmware.file)
        image = Printable(o.firmwarePath.substr(o.firmwarePath.find_last_of("/\\") + 1)) +
                (o.firmwareVersion.empty() ? "" : " (" + Printable(o.firmwareVersion) + ")");
    return {Printable(settings.stationName), image, firmware.sha256, Printable(o.logPath),
            Printable(o.jobName)};
}

// Several ports' table and records; the status of the first that failed.
int EndPorts(const HeadlessOptions& options, const std::vector<PortResult>& results,
             ProgressOutput& output) {
    std::vector<std::pair<std::string, UpgradeSummary>> table;
    for (std::size_t i = 0; i < results.size(); ++i)
        table.emplace_back(Printable(options.ports[i]), results[i].summary);
    if (!options.quiet)
        output.Text(std::string("\n").append(SummaryTable(table)));
    if (!options.onUnit.empty()) {
        unsigned failed = 0;
        for (const PortResult& result : results)
            failed += !result.hook || result.hook->Failed();
        output.Text(HookCount(static_cast<unsigned>(results.size()), failed) + "\n");
    }
    if (options.json) {
        std::string records;
        for (std::size_t i = 0; i < results.size(); ++i)
            records += (i == 0 ? "[\n  " : ",\n  ") + results[i].record;
        if (const std::string error = WriteChecked(stdout, records + "\n]\n"); !error.empty()) {
            output.Diagnostic("dedarida: the JSON records could not be written (" + error + ")");
            return OutputErrorStatus;
        }
    }
    for (const auto& [port, summary] : table)
        if (summary.exitStatus != 0)
            return summary.exitStatus;
    return 0;
}

// A fleet: each unit in a process of its own, all sent the image read here.
int RunFleet(const HeadlessOptions& options, const HeadlessFirmware& firmware, std::FILE* out,
             StationWindowFront stationWindow) {
    UnitSettings settings{options, {}, {}, firmware.sha256, {}};
    if (options.station || !options.logPath.empty())
        settings.stationName = options.stationName.empty() ? HostName() : options.stationName;
    std::optional<PinnedImage> pinned;
    if (firmware.file) {
        try {
            pinned.emplace(firmware.Bytes());
        } catch (const std::filesystem::filesystem_error& failure) {
            WriteText(stderr, "dedarida: " + std::string(failure.what()) + "\n");
            return UsageStatus;
        }
        settings.pinnedImage = pinned->Path();
        if (!options.quiet)
            WriteText(out, firmware.Line(options) + "\n");
    }
    if (options.window)
        return stationWindow(settings, InfoOf(settings, firmware));
    ProgressOutput output(out, ProgressOutput::StyleFor(out, options.quiet, false), {});
    FleetLines lines(output, options.station);
    if (options.station)
        return EndStation(settings, RunStation(settings, lines), output);
    return EndPorts(options, SuperviseUpgrades(settings, lines), output);
}

// One unit's upgrade, for a person or for a fleet's parent.
int RunUnit(const HeadlessOptions& options, const HeadlessFirmware& firmware, std::FILE* out) {
    ProgressOutput output(out, ProgressOutput::StyleFor(out, options.quiet, options.supervised),
                          options.ports);
    UnitLines lines(output, options.json || options.supervised);
    const int status = UpgradeUnit(options, firmware, lines);
    if (!options.onUnit.empty() && !lines.Record().empty())
        output.Text(HookLine(RunHook(options.onUnit, lines.Record(), options.onUnitTimeout)) +
                    "\n");
    return status;
}

} // namespace

int RunHeadless(int argc, const char* const* argv, StationWindowFront stationWindow) {
    std::string error;
    auto options = ParseHeadlessOptions(argc, argv, error);
    if (!options) {
        WriteText(stderr, "dedarida: " + error + "\nsee dedarida --help\n");
        return UsageStatus;
    }
    if (options->help) {
        WriteText(stdout, HeadlessUsage);
        return 0;
    }
    if (options->version) {
        WriteText(stdout, VersionText());
        return 0;
    }
    if (!options->jobPath.empty()) {
        try {
            options = ApplyJob(ReadJob(options->jobPath), *options);
        } catch (const EJobRefused& refusal) {
            WriteText(stderr, "dedarida: refused: --job " + options->jobPath + ": " +
                                  refusal.what() + "\n");
            return UsageStatus;
        }
    }
    if (options->listPorts)
        return PrintPortList(options->json);
    HeadlessFirmware firmware;
    try {
        firmware = ChooseFirmware(*options);
    } catch (const EFirmwareRefused& refusal) {
        WriteText(stderr, "dedarida: refused: " + std::string(refusal.what()) + "\n");
        return UsageStatus;
    }
    if (!options->logPath.empty())
        if (const std::string reason = CheckLog(options->logPath); !reason.empty()) {
            WriteText(stderr,
                      "dedarida: refused: --log " + options->logPath + ": " + reason + "\n");
            return UsageStatus;
        }
    if (!options->onUnit.empty())
        if (const std::string reason = ProgramRefusal(options->onUnit); !reason.empty()) {
            WriteText(stderr,
                      "dedarida: refused: --on-unit " + options->onUnit + ": " + reason + "\n");
            return UsageStatus;
        }
    std::FILE* out = options->json || options->supervised ? stderr : stdout;
    if (!options->jobPath.empty() && !options->quiet)
        WriteText(out, "job: " + Printable(options->jobName) + ", job file sha256 " +
                           options->jobSha256 + "\n");
    if (options->station || options->ports.size() > 1)
        return RunFleet(*options, firmware, out, stationWindow);
    return RunUnit(*options, firmware, out);
}

} // namespace dedarida
