#include "fleet/port_supervisor.h"

#include "fleet/unit_runner.h"
#include "text/printable_text.h"

namespace dedarida {

std::vector<PortResult> SuperviseUpgrades(const UnitSettings& settings, FleetReport& report) {
    const std::vector<std::string>& ports = settings.options.ports;
    std::vector<PortResult> results(ports.size());
    UnitRunner runner(
        report, settings,
        {[&](std::size_t row, const UpgradeSummary& summary, const std::string& record) {
             results[row].summary = summary;
             results[row].record = record;
         },
         {},
         [&](std::size_t row, const HookEnd& hook) { results[row].hook = hook; }});
    for (std::size_t i = 0; i < ports.size(); ++i) {
        report.UnitBegins(i, {Printable(ports[i]), 0, {}, Printable(ports[i])});
        runner.Launch(i, ports[i], ports[i]);
    }
    runner.Run();
    return results;
}

} // namespace dedarida
