#include "app/headless/headless.h"

#include "app/headless/checked_write.h"
#include "app/headless/headless_firmware.h"
#include "app/headless/headless_options.h"
#include "app/headless/headless_window.h"
#include "app/headless/port_diagnosis.h"
#include "app/headless/port_listing.h"
#include "app/headless/port_supervisor.h"
#include "app/headless/progress_output.h"
#include "app/headless/signal_watcher.h"
#include "app/headless/supervised_lines.h"
#include "app/headless/terminal.h"
#include "app/headless/upgrade_report.h"
#include "app/headless/version_text.h"
#include "serial/com_names.h"
#include "upgrade/main_loop.h"
#include "upgrade/programmer.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <system_error>
#include <vector>

namespace dedarida {

namespace {

constexpr int UsageStatus = 64;

// "COMn" gives the port's ordinal n - 1, so the status shows its number.
std::optional<std::uint8_t> ComOrdinal(const std::string& port) {
    if (port.size() < 4 || port.size() > 6 ||
        (port.compare(0, 3, "COM") != 0 && port.compare(0, 3, "com") != 0))
        return std::nullopt;
    int number = 0;
    for (std::size_t i = 3; i < port.size(); ++i) {
        if (port[i] < '0' || port[i] > '9')
            return std::nullopt;
        number = number * 10 + (port[i] - '0');
    }
    if (number < 1 || number > 256)
        return std::nullopt;
    return static_cast<std::uint8_t>(number - 1);
}

// How the upgrade ended, said while its port is still open: a close that has
// to wait for the line cannot hold the result back. Returns the exit status.
int Announce(const HeadlessOptions& options, UpgradeResult result, ProgressOutput& output,
             UpgradeReport& report, TrafficTrace* trace) {
    report.Finish(result);
    if (result == UpgradeResult::Timeout)
        output.Event(0, "result: no reply moved the upgrade on for " +
                            std::to_string(options.timeout.count()) + "s");
    else if (result == UpgradeResult::Interrupted)
        output.Event(0, "result: interrupted; the port is closed");
    const std::string line = ResultLine(ResultName(result), ExitStatus(result), report.Notes());
    output.Result(0, line);

    std::vector<std::string> failures;
    if (trace) {
        trace->Note(line);
        if (const std::string error = trace->WriteError(); !error.empty())
            failures.push_back("the trace " + options.tracePath + " could not be written (" +
                               error + ")");
    }
    if (options.json || options.supervised)
        if (const std::string error = WriteChecked(stdout, report.Json() + "\n"); !error.empty())
            failures.push_back("the JSON record could not be written (" + error + ")");
    for (const std::string& failure : failures)
        WriteText(stderr, "dedarida: " + failure + "; the upgrade itself ended: " + line + "\n");
    return failures.empty() ? ExitStatus(result) : OutputErrorStatus;
}

int Upgrade(const HeadlessOptions& options, const HeadlessFirmware& firmware,
            ProgressOutput& output, UpgradeReport& report) {
    MainLoop loop;
    SignalWatcher signals([&loop] { loop.Quit(); });
    std::optional<TrafficTrace> trace;
    if (!options.tracePath.empty())
        trace.emplace(options.tracePath);
    TrafficTrace* const traced = trace ? &*trace : nullptr;

    HeadlessWindow window(output, loop, report);
    Programmer programmer(window, loop.Queue());
    programmer.SetFirmware(firmware.Bytes(), firmware.version);
    if (firmware.version.empty())
        report.firmwareVersion = programmer.TargetVersion;
    loop.SetOnTimer([&] {
        programmer.Timeout();
        window.Refresh();
    });
    window.SetIdentitySource([&programmer] { return programmer.ReplyText; });
    programmer.Init();
    programmer.SetTrace(traced);

    const std::string& portName = options.ports.front();
    TComPort& port = programmer.ComPort1();
    const std::string device = DevicePathForPortArgument(portName);
    if (const auto ordinal = ComOrdinal(portName))
        port.SetPort(*ordinal);
    if (trace)
        trace->Note("dedarida " + std::string(ToolVersion()) + ", port " + portName + " (" +
                    device + "), firmware SHA-256 " + report.firmwareSha256);
    try {
        if (device.empty())
            throw EComPort("no device");
        port.SetDevicePath(device);
        port.Open();
    } catch (const EComPort& failure) {
        WriteText(stderr,
                  "dedarida: " + DiagnoseOpenFailure(portName, device, failure.what()) + "\n");
        return Announce(options, UpgradeResult::PortError, output, report, traced);
    }
    output.Event(0, "port: " + portName + " (" + device + ")");

    if (options.fromBootloader) {
        programmer.SwitchStatus1Click();
        programmer.SendPoll();
    } else {
        programmer.Button1Click();
    }
    loop.RunUntil([&] {
        return report.Result() || signals.Signalled() ||
               UpgradeReport::Clock::now() - report.LastProgress() > options.timeout;
    });
    if (firmware.version.empty())
        report.firmwareVersion = programmer.TargetVersion;
    report.mismatchedReplies = programmer.MismatchedReplies;
    report.lineErrors = port.LineErrors();
    const UpgradeResult result = report.Result().value_or(
        signals.Signalled() ? UpgradeResult::Interrupted : UpgradeResult::Timeout);
    return Announce(options, result, output, report, traced);
}

int RunOne(const HeadlessOptions& options, const HeadlessFirmware& firmware, std::FILE* out) {
    ProgressOutput output(out, ProgressOutput::StyleFor(out, options.quiet, options.supervised),
                          options.ports);
    if (!firmware.Line(options).empty())
        output.Event(0, firmware.Line(options));
    UpgradeReport report(options.fromBootloader ? UpgradeReport::Polling : UpgradeReport::Identity);
    report.port = options.ports.front();
    report.firmwareFile = options.firmwarePath;
    report.firmwareSha256 = firmware.sha256;
    report.firmwareVersion = firmware.version;
    try {
        return Upgrade(options, firmware, output, report);
    } catch (const std::system_error& failure) {
        WriteText(stderr, "dedarida: " + std::string(failure.what()) + "\n");
        return UsageStatus;
    }
}

} // namespace

int RunHeadless(int argc, const char* const* argv) {
    std::string error;
    const auto options = ParseHeadlessOptions(argc, argv, error);
    if (!options) {
        WriteText(stderr, "dedarida: " + error + "\n\n" + HeadlessUsage);
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
    if (options->listPorts)
        return PrintPortList(options->json);
    HeadlessFirmware firmware;
    try {
        firmware = ChooseFirmware(*options);
    } catch (const EFirmwareRefused& refusal) {
        WriteText(stderr, "dedarida: refused: " + std::string(refusal.what()) + "\n");
        return UsageStatus;
    }
    std::FILE* out = options->json || options->supervised ? stderr : stdout;
    if (options->ports.size() > 1)
        return SuperviseUpgrades(*options, out);
    return RunOne(*options, firmware, out);
}

} // namespace dedarida
