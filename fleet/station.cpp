#include "fleet/station.h"

#include "fleet/station_slots.h"
#include "fleet/unit_runner.h"
#include "ports/port_diagnosis.h"
#include "ports/port_selector.h"
#include "ports/port_watcher.h"
#include "serial/ecomport.h"
#include "text/printable_text.h"
#include "unit/upgrade_report.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dedarida {

namespace {

class Station {
public:
    Station(const UnitSettings& settings, FleetReport& report)
        : settings_(settings), report_(report),
          runner_(report, settings,
                  {[this](std::size_t row, const UpgradeSummary& summary, const std::string&) {
                       Finished(row, summary);
                   },
                   [this](std::size_t row, const std::string& device) { Moved(row, device); },
                   [this](std::size_t, const HookEnd& hook) {
                       ++tally_.hooks;
                       tally_.hookFailures += hook.Failed();
                   }}) {
        std::string error;
        for (const std::string& port : settings.options.ports)
            filters_.push_back(*ParsePortSelector(port, error));
    }

    StationTally Run(StationStop* stop) {
        if (stop)
            stop->Attach([this] { runner_.Interrupt(); });
        const std::shared_ptr<void> detached(nullptr, [stop](void*) {
            if (stop)
                stop->Detach();
        });
        std::optional<PortWatcher> watcher;
        try {
            watcher.emplace([this] { runner_.Post([this] { Look(); }); });
        } catch (const EComPort& failure) {
            tally_.error = InWords(failure);
            return tally_;
        }
        report_.Line("station " + Printable(settings_.stationName) + ": waiting for " +
                     FilterText() + " (Ctrl-C ends the station)");
        Look();
        runner_.Run([this] { return runner_.Interrupted(); });
        return tally_;
    }

private:
    std::string FilterText() const {
        if (filters_.empty())
            return "USB serial adapters";
        std::string text = "adapters";
        for (const PortSelector& filter : filters_)
            text += (&filter == &filters_.front() ? " " : " or ") + Printable(filter.text);
        return text;
    }

    bool Takes(const SerialPortInfo& port) const {
        if (filters_.empty())
            return port.usb.has_value();
        return std::any_of(filters_.begin(), filters_.end(),
                           [&](const PortSelector& filter) { return filter.Matches(port); });
    }

    static std::vector<SerialPortInfo> Ports() { return ListSerialPorts(PortHolding::Untold); }

    // What is plugged in now: finished units that have gone free their
    // slots, new ones start.
    void Look() {
        if (runner_.Interrupted())
            return;
        std::vector<SerialPortInfo> ports;
        try {
            ports = Ports();
        } catch (const EComPort& failure) {
            report_.Line("error: " + InWords(failure));
            return;
        }
        for (const std::size_t row : slots_.FreeGone(ports)) {
            freeRows_.push_back(row);
            report_.UnitGone(row);
        }
        for (const SerialPortInfo& port : slots_.NewUnits(ports))
            if (Takes(port))
                Launch(port);
    }

    void Launch(const SerialPortInfo& port) {
        std::size_t row = slots_.Size();
        if (!freeRows_.empty()) {
            row = freeRows_.back();
            freeRows_.pop_back();
        }
        slots_.Add(row, port);
        const unsigned number = ++tally_.units;
        const std::string serial = port.usb ? port.usb->serialNumber : "";
        report_.UnitBegins(
            row, {Printable(port.device), number, Printable(serial), Printable(PositionOf(port))});
        runner_.Launch(row, port.device, port.device + "." + std::to_string(number), serial,
                       number);
    }

    void Moved(std::size_t row, const std::string& device) {
        try {
            for (const SerialPortInfo& port : Ports())
                if (Printable(port.device) == device)
                    slots_.Moved(row, port);
        } catch (const EComPort&) {
            // The next change looks again.
        }
    }

    void Finished(std::size_t row, const UpgradeSummary& summary) {
        if (summary.exitStatus == 0)
            ++tally_.passed;
        else if (summary.result == ResultName(UpgradeResult::Interrupted))
            ++tally_.interrupted;
        else
            ++tally_.failed;
        slots_.Done(row);
        // It may have gone while it was finishing; a unit waiting for its
        // slot starts once this end is handled.
        runner_.Post([this] { Look(); });
    }

    const UnitSettings& settings_;
    FleetReport& report_;
    std::vector<PortSelector> filters_;
    UnitRunner runner_;
    StationSlots slots_;
    std::vector<std::size_t> freeRows_;
    StationTally tally_;
};

} // namespace

StationTally RunStation(const UnitSettings& settings, FleetReport& report, StationStop* stop) {
    return Station(settings, report).Run(stop);
}

int StationStatus(const StationTally& tally) {
    if (!tally.error.empty() || tally.failed > 0)
        return 1;
    return tally.interrupted > 0 ? ExitStatus(UpgradeResult::Interrupted) : 0;
}

} // namespace dedarida
