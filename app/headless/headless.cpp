#include "app/headless/headless.h"

#include "app/headless/headless_firmware.h"
#include "app/headless/headless_options.h"
#include "app/headless/host_name.h"
#include "app/headless/job_file.h"
#include "app/headless/pinned_image.h"
#include "app/headless/port_listing.h"
#include "app/headless/port_supervisor.h"
#include "app/headless/printable_text.h"
#include "app/headless/record_log.h"
#include "app/headless/station.h"
#include "app/headless/terminal.h"
#include "app/headless/unit_upgrade.h"
#include "app/headless/version_text.h"

#include <cstdio>
#include <filesystem>
#include <optional>

namespace dedarida {

namespace {

constexpr int UsageStatus = 64;

// A fleet: each unit in a process of its own, all sent the image read here.
int RunFleet(const HeadlessOptions& options, const HeadlessFirmware& firmware, std::FILE* out) {
    UnitSettings settings{options, {}, {}, firmware.sha256};
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
    return options.station ? RunStation(settings, out) : SuperviseUpgrades(settings, out);
}

} // namespace

int RunHeadless(int argc, const char* const* argv) {
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
    std::FILE* out = options->json || options->supervised ? stderr : stdout;
    if (!options->jobPath.empty() && !options->quiet)
        WriteText(out, "job: " + Printable(options->jobName) + ", job file sha256 " +
                           options->jobSha256 + "\n");
    if (options->station || options->ports.size() > 1)
        return RunFleet(*options, firmware, out);
    return UpgradeUnit(*options, firmware, out);
}

} // namespace dedarida
