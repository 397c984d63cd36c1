#include "app/headless/unit_upgrade.h"

#include "app/headless/bootloader_probe.h"
#include "app/headless/checked_write.h"
#include "app/headless/headless_window.h"
#include "app/headless/host_name.h"
#include "app/headless/port_selector.h"
#include "app/headless/progress_output.h"
#include "app/headless/record_log.h"
#include "app/headless/signal_watcher.h"
#include "app/headless/supervised_lines.h"
#include "app/headless/terminal.h"
#include "app/headless/upgrade_report.h"
#include "app/headless/version_text.h"
#include "serial/com_names.h"
#include "serial/port_diagnosis.h"
#include "serial/port_watcher.h"
#include "upgrade/main_loop.h"
#include "upgrade/programmer.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

namespace dedarida {

namespace {

using Clock = UpgradeReport::Clock;

constexpr int UsageStatus = 64;
// A device answers its identity request within a tenth of a second; after
// this long without a word, its bootloader is asked.
constexpr std::chrono::seconds SilenceBeforeProbe{3};
// How long a unit whose line went may take to come back.
constexpr std::chrono::seconds ComebackLimit{30};

// "COMn" gives the port's ordinal n - 1, so the status shows its number.
std::optional<std::uint8_t> ComOrdinal(const std::string& port) {
    const unsigned number = ComNumber(port);
    if (number < 1 || number > 256)
        return std::nullopt;
    return static_cast<std::uint8_t>(number - 1);
}

class Unit {
public:
    Unit(const HeadlessOptions& options, const HeadlessFirmware& firmware, std::FILE* out)
        : options_(options), firmware_(firmware), port_(options.ports.front()),
          output_(out, ProgressOutput::StyleFor(out, options.quiet, options.supervised),
                  options.ports),
          report_(options.fromBootloader ? UpgradeReport::Polling : UpgradeReport::Identity) {
        report_.port = port_;
        report_.firmwareFile = options.firmwarePath;
        report_.firmwareSha256 = firmware.sha256;
        report_.firmwareVersion = firmware.version;
        report_.jobName = options.jobName;
        report_.jobSha256 = options.jobSha256;
        if (options.station || !options.logPath.empty())
            report_.stationName = options.stationName.empty() ? HostName() : options.stationName;
        if (!options.tracePath.empty())
            trace_.emplace(options.tracePath);
    }

    int Run() {
        if (!firmware_.Line(options_).empty())
            output_.Event(0, firmware_.Line(options_));
        if (!Resolve())
            return Announce(UpgradeResult::PortError);
        bool fromBootloader = options_.fromBootloader;
        bool listenForSilence = !fromBootloader;
        for (;;) {
            const Attempt attempt = Try(fromBootloader, listenForSilence);
            if (attempt.status)
                return *attempt.status;
            if (attempt.silent) {
                listenForSilence = false;
                if (const auto status = Probe(fromBootloader))
                    return *status;
                continue;
            }
            if (!WaitForComeback())
                return Announce(attempt.result);
            report_.Retry();
            // An upgrade cut off leaves the device in its bootloader, unless
            // it restarted its application: it tells which.
            fromBootloader = InBootloader();
            listenForSilence = !fromBootloader;
        }
    }

private:
    // One attempt's end: announced (the last word), silent at the identity
    // request, or to be tried again.
    struct Attempt {
        UpgradeResult result = UpgradeResult::Timeout;
        std::optional<int> status;
        bool silent = false;
    };

    // The device behind --port now, and the adapter it sits on.
    bool Resolve() {
        std::string error;
        const PortSelector selector = *ParsePortSelector(port_, error);
        const std::vector<SerialPortInfo> ports = selector.kind == PortSelector::Kind::Name
                                                      ? std::vector<SerialPortInfo>()
                                                      : ListSerialPorts();
        device_ = ResolvePortSelector(selector, ports, error);
        if (device_.empty()) {
            Refuse(error.empty() ? DiagnoseOpenFailure(port_, device_, "no device") : error);
            return false;
        }
        const auto listed = PortOfDevice(
            selector.kind == PortSelector::Kind::Name ? ListPortsQuietly() : ports, device_);
        if (listed) {
            unit_ = *listed;
        } else {
            unit_ = {};
            unit_.device = device_;
        }
        if (unit_.usb)
            report_.usbSerial = unit_.usb->serialNumber;
        if (trace_)
            trace_->Note("dedarida " + std::string(ToolVersion()) + ", port " + port_ + " (" +
                         device_ + "), firmware SHA-256 " + report_.firmwareSha256);
        return true;
    }

    // Why the port cannot be used: said, and kept for the record.
    void Refuse(const std::string& reason) {
        WriteText(stderr, "dedarida: " + reason + "\n");
        report_.reason = reason;
    }

    // A missing udev is no reason to refuse an upgrade; the adapter is then
    // known by its device path alone.
    static std::vector<SerialPortInfo> ListPortsQuietly() {
        try {
            return ListSerialPorts();
        } catch (const EComPort&) {
            return {};
        }
    }

    Attempt Try(bool fromBootloader, bool listenForSilence) {
        MainLoop loop;
        SignalWatcher signals([&loop] { loop.Quit(); });
        HeadlessWindow window(output_, loop, report_);
        Programmer programmer(window, loop.Queue());
        programmer.SetFirmware(firmware_.Bytes(), firmware_.version);
        if (firmware_.version.empty())
            report_.firmwareVersion = programmer.TargetVersion;
        loop.SetOnTimer([&] {
            programmer.Timeout();
            window.Refresh();
        });
        window.Follow(programmer);
        programmer.Init();
        programmer.SetTrace(trace_ ? &*trace_ : nullptr);

        TComPort& port = programmer.ComPort1();
        if (const auto ordinal = ComOrdinal(port_))
            port.SetPort(*ordinal);
        try {
            port.SetDevicePath(device_);
            port.Open();
        } catch (const EComPort& failure) {
            Refuse(DiagnoseOpenFailure(port_, device_, failure.what()));
            return {UpgradeResult::PortError, Announce(UpgradeResult::PortError, &signals), false};
        }
        output_.Event(0, "port: " + port_ + " (" + device_ + ")");

        const Clock::time_point started = Clock::now();
        if (fromBootloader) {
            programmer.SwitchStatus1Click();
            programmer.SendPoll();
        } else {
            programmer.Button1Click();
        }
        const auto over = [&] {
            return report_.Result() || signals.Signalled() ||
                   Clock::now() - report_.LastProgress() > options_.timeout;
        };
        // Silent: no identity answer took the upgrade on (whatever else the
        // line carried).
        bool silent = false;
        if (listenForSilence && !loop.RunUntil(over, started + SilenceBeforeProbe))
            silent = !report_.Entered(UpgradeReport::Handshake) && !signals.Signalled();
        if (!silent)
            loop.RunUntil(over);

        if (firmware_.version.empty())
            report_.firmwareVersion = programmer.TargetVersion;
        report_.mismatchedReplies += programmer.MismatchedReplies;
        const LineErrorCounts errors = port.LineErrors();
        report_.lineErrors.framing += errors.framing;
        report_.lineErrors.parity += errors.parity;
        report_.lineErrors.overrun += errors.overrun;
        report_.lineErrors.breaks += errors.breaks;
        if (silent)
            return {UpgradeResult::Timeout, std::nullopt, true};
        const UpgradeResult result = report_.Result().value_or(
            signals.Signalled() ? UpgradeResult::Interrupted : UpgradeResult::Timeout);
        if (signals.Signalled() || !Retriable(result))
            return {result, Announce(result, &signals), false};
        output_.Event(0, "status: " +
                             std::string(result == UpgradeResult::LineError
                                             ? "the line to the device was lost"
                                             : "the bootloader stopped answering") +
                             "; waiting up to " + std::to_string(ComebackLimit.count()) +
                             " s for the device to come back (attempt " +
                             std::to_string(report_.Attempts() + 1) + " of " +
                             std::to_string(options_.retries + 1) + ")");
        return {result, std::nullopt, false};
    }

    // Worth another attempt from the bootloader: the line went, or the
    // bootloader fell silent, and --retries allows one more.
    bool Retriable(UpgradeResult result) const {
        const bool inBootloader = report_.Entered(UpgradeReport::Polling).has_value();
        return report_.Attempts() <= options_.retries &&
               (result == UpgradeResult::LineError ||
                (result == UpgradeResult::Timeout && inBootloader));
    }

    bool InBootloader() const {
        try {
            return AnswersBootloaderPoll(device_);
        } catch (const EComPort&) {
            return false;
        }
    }

    // The device said nothing to its identity request: ask its bootloader.
    std::optional<int> Probe(bool& fromBootloader) {
        if (!InBootloader())
            return std::nullopt;
        if (options_.recoverBootloader || options_.station || options_.retries > 0) {
            output_.Event(0, "status: the device is in its bootloader (an interrupted "
                             "upgrade?); upgrading it from there");
            fromBootloader = true;
            return std::nullopt;
        }
        output_.Event(0, "message: the device is in its bootloader (an interrupted upgrade?); "
                         "recover it with: dedarida --upgrade --port " +
                             port_ + " --from-bootloader");
        return Announce(UpgradeResult::InBootloader);
    }

    // Waits, listening to the system, for the same unit to be plugged in
    // again; false when it did not come back in time or an interrupt came.
    bool WaitForComeback() {
        std::mutex mutex;
        std::condition_variable changed;
        bool news = true;
        bool interrupted = false;
        const auto notify = [&](bool interrupt) {
            {
                std::lock_guard lock(mutex);
                news = true;
                interrupted = interrupted || interrupt;
            }
            changed.notify_all();
        };
        SignalWatcher signals([&] { notify(true); });
        std::optional<PortWatcher> watcher;
        try {
            watcher.emplace([&] { notify(false); });
        } catch (const EComPort& failure) {
            output_.Event(0, "error: " + InWords(failure));
            return false;
        }
        const auto deadline = Clock::now() + ComebackLimit;
        std::unique_lock lock(mutex);
        for (;;) {
            if (!changed.wait_until(lock, deadline, [&] { return news; }) || interrupted)
                return false;
            news = false;
            lock.unlock();
            for (const SerialPortInfo& port : ListPortsQuietly())
                if (SameUnit(port, unit_)) {
                    device_ = port.device;
                    output_.Event(0, "status: the device is back at " + device_);
                    return true;
                }
            lock.lock();
        }
    }

    // How the upgrade ended, said while its port is still open: a close that
    // has to wait for the line cannot hold the result back. An interrupt that
    // `signals` catches cuts a wait for the log short. Returns the exit status.
    int Announce(UpgradeResult result, const SignalWatcher* signals = nullptr) {
        report_.Finish(result);
        if (result == UpgradeResult::Timeout)
            output_.Event(0, "result: no reply moved the upgrade on for " +
                                 std::to_string(options_.timeout.count()) + "s");
        else if (result == UpgradeResult::Interrupted)
            output_.Event(0, "result: interrupted; the port is closed");
        if (result != UpgradeResult::Programmed && report_.Entered(UpgradeReport::Polling))
            output_.Event(0, "message: " + LeftInBootloader());
        const std::string line =
            ResultLine(ResultName(result), ExitStatus(result), report_.Notes());
        output_.Result(0, line);

        std::vector<std::string> failures;
        if (trace_) {
            trace_->Note(line);
            if (const std::string error = trace_->WriteError(); !error.empty())
                failures.push_back("the trace " + options_.tracePath + " could not be written (" +
                                   error + ")");
        }
        const std::string record = report_.Json();
        if (options_.json || options_.supervised)
            if (const std::string error = WriteChecked(stdout, record + "\n"); !error.empty())
                failures.push_back("the JSON record could not be written (" + error + ")");
        if (!options_.logPath.empty())
            if (const std::string error = AppendRecord(
                    options_.logPath, record,
                    {.interrupted = [signals] { return signals && signals->Signalled(); }});
                !error.empty())
                failures.push_back("the record could not be added to the log " + options_.logPath +
                                   " (" + error + ")");
        for (const std::string& failure : failures)
            WriteText(stderr,
                      "dedarida: " + failure + "; the upgrade itself ended: " + line + "\n");
        return failures.empty() ? ExitStatus(result) : OutputErrorStatus;
    }

    // Where an upgrade that stopped in the bootloader phase leaves the device,
    // and what brings it back.
    std::string LeftInBootloader() const {
        std::string state = "the device is left in its bootloader";
        if (report_.Entered(UpgradeReport::Erase)) {
            state += " with its flash erased";
            if (const int blocks = report_.BlocksDone(); blocks > 0)
                state += " and " + std::to_string(blocks) + " of " + std::to_string(TxSize / 1024) +
                         " blocks programmed";
        }
        return state + "; recover it with: dedarida --upgrade --port " + port_ +
               " --from-bootloader";
    }

    const HeadlessOptions& options_;
    const HeadlessFirmware& firmware_;
    const std::string port_;
    ProgressOutput output_;
    UpgradeReport report_;
    std::optional<TrafficTrace> trace_;
    std::string device_;
    SerialPortInfo unit_;
};

} // namespace

int UpgradeUnit(const HeadlessOptions& options, const HeadlessFirmware& firmware, std::FILE* out) {
    try {
        return Unit(options, firmware, out).Run();
    } catch (const std::system_error& failure) {
        WriteText(stderr, "dedarida: " + std::string(failure.what()) + "\n");
        return UsageStatus;
    }
}

} // namespace dedarida
