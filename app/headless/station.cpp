#include "app/headless/station.h"

#include "app/headless/host_name.h"
#include "app/headless/port_selector.h"
#include "app/headless/printable_text.h"
#include "app/headless/progress_output.h"
#include "app/headless/terminal.h"
#include "app/headless/unit_runner.h"
#include "serial/ecomport.h"
#include "serial/port_diagnosis.h"
#include "serial/port_watcher.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dedarida {

namespace {

class Station {
public:
    Station(const HeadlessOptions& options, std::FILE* out)
        : options_(options), name_(options.stationName.empty() ? HostName() : options.stationName),
          output_(out, ProgressOutput::StyleFor(out, options.quiet, false), {}),
          runner_(output_, [this](std::size_t row, const UpgradeSummary& summary,
                                  const std::string&) { Finished(row, summary); }) {
        std::string error;
        for (const std::string& port : options.ports)
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
        output_.Line("station " + name_ + ": waiting for " + FilterText() +
                     " (Ctrl-C ends the station)");
        Look();
        runner_.Run([this] { return runner_.Interrupted(); });
        return Summary();
    }

private:
    enum class State { Running, Done };
    struct Slot {
        std::size_t row;
        State state;
    };

    std::string FilterText() const {
        if (filters_.empty())
            return "USB serial adapters";
        std::string text = "adapters";
        for (const PortSelector& filter : filters_)
            text += (&filter == &filters_.front() ? " " : " or ") + filter.text;
        return text;
    }

    bool Takes(const SerialPortInfo& port) const {
        if (filters_.empty())
            return port.usb.has_value();
        return std::any_of(filters_.begin(), filters_.end(),
                           [&](const PortSelector& filter) { return filter.Matches(port); });
    }

    // What is plugged in now: new units start, finished ones that have gone
    // free their slots.
    void Look() {
        if (runner_.Interrupted())
            return;
        std::vector<SerialPortInfo> ports;
        try {
            ports = ListSerialPorts();
        } catch (const EComPort& failure) {
            output_.Line(std::string("error: ") + failure.what());
            return;
        }
        for (auto slot = slots_.begin(); slot != slots_.end();) {
            const bool present = std::any_of(ports.begin(), ports.end(), [&](const auto& port) {
                return port.device == slot->first;
            });
            if (!present && slot->second.state == State::Done) {
                freeRows_.push_back(slot->second.row);
                slot = slots_.erase(slot);
            } else {
                ++slot;
            }
        }
        for (const SerialPortInfo& port : ports)
            if (Takes(port) && !slots_.count(port.device))
                Launch(port);
    }

    void Launch(const SerialPortInfo& port) {
        std::size_t row;
        if (freeRows_.empty()) {
            row = output_.AddRow(port.device);
        } else {
            row = freeRows_.back();
            freeRows_.pop_back();
            output_.ResetRow(row, port.device);
        }
        slots_[port.device] = {row, State::Running};
        ++units_;
        std::string who = port.device;
        if (port.usb && !port.usb->serialNumber.empty())
            who += " (serial " + Printable(port.usb->serialNumber) + ")";
        output_.Event(row, "unit " + std::to_string(units_) + " plugged in: " + who);
        runner_.Launch(row, port.device, Arguments(port.device));
    }

    std::vector<std::string> Arguments(const std::string& device) const {
        std::vector<std::string> arguments = {"--upgrade",
                                              "--supervised",
                                              "--recover-bootloader",
                                              "--port",
                                              device,
                                              "--timeout",
                                              std::to_string(options_.timeout.count()),
                                              "--retries",
                                              std::to_string(options_.retries),
                                              "--station-name",
                                              name_};
        const auto add = [&](const char* option, const std::string& value) {
            if (!value.empty())
                arguments.insert(arguments.end(), {option, value});
        };
        add("--firmware", options_.firmwarePath);
        add("--firmware-version", options_.firmwareVersion);
        add("--log", options_.logPath);
        if (!options_.tracePath.empty()) {
            std::string name = device;
            std::replace(name.begin(), name.end(), '/', '_');
            add("--trace", options_.tracePath + "." + name + "." + std::to_string(units_));
        }
        return arguments;
    }

    void Finished(std::size_t row, const UpgradeSummary& summary) {
        const bool passed = summary.exitStatus == 0;
        ++(passed ? passed_ : failed_);
        for (auto& [device, slot] : slots_)
            if (slot.row == row) {
                slot.state = State::Done;
                output_.Event(row,
                              std::string(passed ? "PASS" : "FAIL") + "  " +
                                  (summary.identity.empty() ? "-" : Printable(summary.identity)) +
                                  "  " + summary.result + " (exit " +
                                  std::to_string(summary.exitStatus) + "); unplug it");
            }
        // It may have gone while it was finishing.
        Look();
    }

    int Summary() {
        char yield[16] = "-";
        if (units_ > 0)
            std::snprintf(yield, sizeof yield, "%.1f%%",
                          100.0 * static_cast<double>(passed_) / static_cast<double>(units_));
        output_.Text("\nstation " + name_ + ": " + std::to_string(units_) + " units, " +
                     std::to_string(passed_) + " passed, " + std::to_string(failed_) +
                     " failed, yield " + yield + "\n");
        return failed_ == 0 ? 0 : 1;
    }

    const HeadlessOptions& options_;
    const std::string name_;
    std::vector<PortSelector> filters_;
    ProgressOutput output_;
    UnitRunner runner_;
    std::map<std::string, Slot> slots_; // by device
    std::vector<std::size_t> freeRows_;
    unsigned units_ = 0;
    unsigned passed_ = 0;
    unsigned failed_ = 0;
};

} // namespace

int RunStation(const HeadlessOptions& options, std::FILE* out) {
    return Station(options, out).Run();
}

} // namespace dedarida
