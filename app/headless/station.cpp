#include "app/headless/station.h"

#include "app/headless/port_selector.h"
#include "app/headless/printable_text.h"
#include "app/headless/progress_output.h"
#include "app/headless/station_slots.h"
#include "app/headless/terminal.h"
#include "app/headless/unit_runner.h"
#include "app/headless/upgrade_report.h"
#include "serial/ecomport.h"
#include "serial/port_diagnosis.h"
#include "serial/port_watcher.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace dedarida {

namespace {

std::string Count(unsigned n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

class Station {
public:
    Station(const UnitSettings& settings, std::FILE* out)
        : settings_(settings),
          output_(out, ProgressOutput::StyleFor(out, settings.options.quiet, false), {}),
          runner_(output_, settings,
                  {[this](std::size_t row, const UpgradeSummary& summary, const std::string&) {
                       Finished(row, summary);
                   },
                   [this](std::size_t row, const std::string& device) { Moved(row, device); }}) {
        std::string error;
        for (const std::string& port : settings.options.ports)
            filters_.push_back(*ParsePortSelector(port, error));
    }

    int Run() {
        std::optional<PortWatcher> watcher;
        try {
            watcher.emplace([this] { runner_.Post([this] { Look(); }); });
        } catch (const EComPort& failure) {
            WriteText(stderr, "dedarida: " + InWords(failure) + "\n");
            return 1;
        }
        output_.Line("station " + Printable(settings_.stationName) + ": waiting for " +
                     FilterText() + " (Ctrl-C ends the station)");
        Look();
        runner_.Run([this] { return runner_.Interrupted(); });
        return Summary();
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
            output_.Line("error: " + InWords(failure));
            return;
        }
        for (const std::size_t row : slots_.FreeGone(ports))
            freeRows_.push_back(row);
        for (const SerialPortInfo& port : slots_.NewUnits(ports))
            if (Takes(port))
                Launch(port);
    }

    void Launch(const SerialPortInfo& port) {
        const std::string name = Printable(port.device);
        std::size_t row;
        if (freeRows_.empty()) {
            row = output_.AddRow(name);
        } else {
            row = freeRows_.back();
            freeRows_.pop_back();
            output_.ResetRow(row, name);
        }
        slots_.Add(row, port);
        ++units_;
        std::string who = name;
        const std::string serial = port.usb ? port.usb->serialNumber : "";
        if (!serial.empty())
            who += " (serial " + Printable(serial) + ")";
        output_.Event(row, "unit " + std::to_string(units_) + " plugged in: " + who);
        runner_.Launch(row, port.device, port.device + "." + std::to_string(units_), serial);
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
        const bool passed = summary.exitStatus == 0;
        const bool interrupted = summary.result == ResultName(UpgradeResult::Interrupted);
        ++(passed ? passed_ : interrupted ? interrupted_ : failed_);
        slots_.Done(row);
        // The station's word on the unit: even --quiet says it.
        if (interrupted)
            output_.Result(row, ResultLine(summary.result, summary.exitStatus, summary.notes));
        else
            output_.Result(row, std::string(passed ? "PASS" : "FAIL") + "  " +
                                    (summary.identity.empty() ? "-" : Printable(summary.identity)) +
                                    "  " + summary.result + " (exit " +
                                    std::to_string(summary.exitStatus) + "); unplug it");
        // It may have gone while it was finishing; a unit waiting for its
        // slot starts once this end is handled.
        runner_.Post([this] { Look(); });
    }

    int Summary() {
        const unsigned tested = passed_ + failed_;
        char yield[16] = "-";
        if (tested > 0)
            std::snprintf(yield, sizeof yield, "%.1f%%",
                          100.0 * static_cast<double>(passed_) / static_cast<double>(tested));
        output_.Text("\nstation " + Printable(settings_.stationName) + ": " +
                     Count(units_, "unit") + ", " + std::to_string(passed_) + " passed, " +
                     std::to_string(failed_) + " failed, " + std::to_string(interrupted_) +
                     " interrupted, yield " + yield + "\n");
        if (failed_ > 0)
            return 1;
        return interrupted_ > 0 ? ExitStatus(UpgradeResult::Interrupted) : 0;
    }

    const UnitSettings& settings_;
    std::vector<PortSelector> filters_;
    ProgressOutput output_;
    UnitRunner runner_;
    StationSlots slots_;
    std::vector<std::size_t> freeRows_;
    unsigned units_ = 0;
    unsigned passed_ = 0;
    unsigned failed_ = 0;
    unsigned interrupted_ = 0;
};

} // namespace

int RunStation(const UnitSettings& settings, std::FILE* out) {
    return Station(settings, out).Run();
}

} // namespace dedarida
