#include "app/headless/headless.h"

#include "app/headless/headless_options.h"
#include "app/headless/headless_window.h"
#include "app/headless/port_diagnosis.h"
#include "app/headless/port_listing.h"
#include "app/headless/signal_watcher.h"
#include "app/headless/upgrade_report.h"
#include "app/headless/version_text.h"
#include "serial/com_names.h"
#include "upgrade/main_loop.h"
#include "upgrade/programmer.h"

#include <cstdio>
#include <optional>
#include <system_error>

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

UpgradeResult Upgrade(const HeadlessOptions& options, std::FILE* out, UpgradeReport& report) {
    MainLoop loop;
    SignalWatcher signals([&loop] { loop.Quit(); });
    std::optional<TrafficTrace> trace;
    if (!options.tracePath.empty())
        trace.emplace(options.tracePath);

    HeadlessWindow window(out, loop, report);
    Programmer programmer(window, loop.Queue());
    loop.SetOnTimer([&programmer] { programmer.Timeout(); });
    window.SetIdentitySource([&programmer] { return programmer.ReplyText; });
    programmer.Init();
    if (trace)
        programmer.SetTrace(&*trace);

    TComPort& port = programmer.ComPort1();
    const std::string device = DevicePathForPortArgument(options.port);
    if (const auto ordinal = ComOrdinal(options.port))
        port.SetPort(*ordinal);
    try {
        if (device.empty())
            throw EComPort("no device");
        port.SetDevicePath(device);
        port.Open();
    } catch (const EComPort& failure) {
        std::fprintf(stderr, "dedarida: %s\n",
                     DiagnoseOpenFailure(options.port, device, failure.what()).c_str());
        return UpgradeResult::PortError;
    }
    std::fprintf(out, "port: %s (%s)\n", options.port.c_str(), device.c_str());

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
    window.EndProgressLine();
    if (report.Result())
        return *report.Result();
    return signals.Signalled() ? UpgradeResult::Interrupted : UpgradeResult::Timeout;
}

} // namespace

int RunHeadless(int argc, const char* const* argv) {
    std::string error;
    const auto options = ParseHeadlessOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "dedarida: %s\n\n%s", error.c_str(), HeadlessUsage);
        return UsageStatus;
    }
    if (options->help) {
        std::fputs(HeadlessUsage, stdout);
        return 0;
    }
    if (options->version) {
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    }
    if (options->listPorts)
        return PrintPortList(options->json);

    std::FILE* out = options->json ? stderr : stdout;
    UpgradeReport report(options->fromBootloader ? UpgradeReport::Polling
                                                 : UpgradeReport::Identity);
    report.port = options->port;
    UpgradeResult result;
    try {
        result = Upgrade(*options, out, report);
    } catch (const std::system_error& failure) {
        std::fprintf(stderr, "dedarida: %s\n", failure.what());
        return UsageStatus;
    }
    report.Finish(result);
    if (result == UpgradeResult::Timeout)
        std::fprintf(out, "result: no reply moved the upgrade on for %llds\n",
                     static_cast<long long>(options->timeout.count()));
    else if (result == UpgradeResult::Interrupted)
        std::fprintf(out, "result: interrupted; the port is closed\n");
    std::fprintf(out, "result: %s (exit %d)\n", ResultName(result), ExitStatus(result));
    if (options->json)
        std::printf("%s\n", report.Json().c_str());
    return ExitStatus(result);
}

} // namespace dedarida
