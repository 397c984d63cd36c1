#include "unit/unit_upgrade.h"

#include "ports/comeback_search.h"
#include "ports/port_diagnosis.h"
#include "ports/port_selector.h"
#include "ports/port_watcher.h"
#include "process/host_name.h"
#include "process/signal_watcher.h"
#include "serial/com_names.h"
#include "text/printable_text.h"
#include "unit/bootloader_probe.h"
#include "unit/headless_window.h"
#include "unit/record_log.h"
#include "unit/upgrade_report.h"
#include "unit/version_text.h"
#include "upgrade/main_loop.h"
#include "upgrade/programmer.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
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
// How long a unit whose line went may take to come back (--timeout, if
// shorter, bounds it too).
constexpr std::chrono::seconds ComebackLimit{30};
// A port that is back but does not open yet (its node is still going, or
// being set up) is tried again this often.
constexpr std::chrono::milliseconds OpenRetryInterval{250};

// "COMn" gives the port's ordinal n - 1, so the status shows its number.
std::optional<std::uint8_t> ComOrdinal(const std::string& port) {
    const unsigned number = ComNumber(port);
    if (number < 1 || number > 256)
        return std::nullopt;
    return static_cast<std::uint8_t>(number - 1);
}

class Unit {
public:
    Unit(const HeadlessOptions& options, const HeadlessFirmware& firmware, UnitOutput& output)
        : options_(options), firmware_(firmware), port_(options.ports.front()), output_(output),
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
            output_.Event(firmware_.Line(options_));
        if (!Resolve())
            return Announce(UpgradeResult::PortError);
        if (Interrupted())
            return Announce(UpgradeResult::Interrupted);
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
            const Comeback comeback = WaitForComeback();
            if (comeback.how == Comeback::How::Interrupted)
                return Announce(UpgradeResult::Interrupted);
            if (comeback.how != Comeback::How::Back)
                return Announce(attempt.result);
            // An upgrade cut off leaves the device in its bootloader, unless
            // it restarted its application: it told which.
            fromBootloader = comeback.inBootloader;
            report_.Retry(fromBootloader ? UpgradeReport::Polling : UpgradeReport::Identity);
            listenForSilence = !fromBootloader;
        }
    }

private:
    // While it lives, an interrupt calls `hook` (at once for one that came
    // before).
    class InterruptHook {
    public:
        InterruptHook(Unit& unit, std::function<void()> hook) : unit_(unit) {
            unit_.SetInterruptHook(std::move(hook));
        }
        ~InterruptHook() { unit_.SetInterruptHook({}); }
        InterruptHook(const InterruptHook&) = delete;
        InterruptHook& operator=(const InterruptHook&) = delete;

    private:
        Unit& unit_;
    };

    void SetInterruptHook(std::function<void()> hook) {
        {
            std::lock_guard lock(interruptMutex_);
            onInterrupt_ = hook;
        }
        if (hook && Interrupted())
            hook();
    }
    // The signal watcher's thread.
    void Interrupt() {
        std::lock_guard lock(interruptMutex_);
        if (onInterrupt_)
            onInterrupt_();
    }
    bool Interrupted() const { return signals_.Signalled(); }

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
        output_.Diagnostic("dedarida: " + reason);
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
        const InterruptHook hook(*this, [&loop] { loop.Quit(); });
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
            return {UpgradeResult::PortError, Announce(UpgradeResult::PortError), false};
        }
        output_.Event("port: " + Printable(port_) + " (" + Printable(device_) + ")");
        TellPlace();

        const Clock::time_point started = Clock::now();
        if (fromBootloader) {
            programmer.SwitchStatus1Click();
            programmer.SendPoll();
        } else {
            programmer.Button1Click();
        }
        const auto over = [&] {
            return report_.Result() || Interrupted() ||
                   Clock::now() - report_.LastProgress() > options_.timeout;
        };
        // Silent: no identity answer took the upgrade on (whatever else the
        // line carried).
        bool silent = false;
        if (listenForSilence && !loop.RunUntil(over, started + SilenceBeforeProbe))
            silent = !report_.Entered(UpgradeReport::Handshake) && !Interrupted();
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
            Interrupted() ? UpgradeResult::Interrupted : UpgradeResult::Timeout);
        if (Interrupted())
            return {UpgradeResult::Interrupted, Announce(UpgradeResult::Interrupted), false};
        if (!Retriable(result))
            return {result, Announce(result), false};
        output_.Event(
            "status: " +
            std::string(result == UpgradeResult::LineError ? "the line to the device was lost"
                                                           : "the bootloader stopped answering") +
            "; waiting up to " + std::to_string(ComebackWindow().count()) +
            " s for the device to come back (attempt " + std::to_string(report_.Attempts() + 1) +
            " of " + std::to_string(options_.retries + 1) + ")");
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
        const bool inBootloader = InBootloader();
        if (Interrupted())
            return Announce(UpgradeResult::Interrupted);
        if (!inBootloader)
            return std::nullopt;
        if (options_.recoverBootloader || options_.station || options_.retries > 0) {
            output_.Event("status: the device is in its bootloader (an interrupted "
                          "upgrade?); upgrading it from there");
            fromBootloader = true;
            return std::nullopt;
        }
        output_.Event("message: the device is in its bootloader (an interrupted upgrade?); "
                      "recover it with: dedarida --upgrade --port " +
                      port_ + " --from-bootloader");
        return Announce(UpgradeResult::InBootloader);
    }

    struct Comeback {
        enum class How { Back, Gone, Ambiguous, Interrupted };
        How how = How::Gone;
        bool inBootloader = false; // when back
    };

    std::chrono::seconds ComebackWindow() const {
        return std::min(ComebackLimit, options_.timeout);
    }

    // Waits, listening to the system, for the same unit to be back: its own
    // port opening again, or a port of its identity that appears.
    Comeback WaitForComeback() {
        output_.Waiting(ComebackWindow());
        std::mutex mutex;
        std::condition_variable changed;
        bool news = true;
        const auto notify = [&] {
            {
                std::lock_guard lock(mutex);
                news = true;
            }
            changed.notify_all();
        };
        const InterruptHook hook(*this, notify);
        std::optional<PortWatcher> watcher;
        try {
            watcher.emplace(notify);
        } catch (const EComPort& failure) {
            output_.Event("error: " + InWords(failure));
            return {};
        }
        // Listed once the watcher runs, so no port that comes after goes unseen.
        ComebackSearch search(unit_, ListPortsQuietly());
        const auto deadline = Clock::now() + ComebackWindow();
        bool retryOpen = false;
        std::unique_lock lock(mutex);
        for (;;) {
            const auto wake =
                retryOpen ? std::min(deadline, Clock::now() + OpenRetryInterval) : deadline;
            changed.wait_until(lock, wake, [&] { return news; });
            if (Interrupted())
                return {Comeback::How::Interrupted};
            if (Clock::now() >= deadline)
                return {};
            news = false;
            lock.unlock();
            const ComebackSearch::Found found = search.Look(ListPortsQuietly());
            retryOpen = false;
            for (const SerialPortInfo& port : found.candidates) {
                try {
                    const bool inBootloader = AnswersBootloaderPoll(port.device);
                    if (Interrupted())
                        return {Comeback::How::Interrupted};
                    unit_ = port;
                    device_ = port.device;
                    output_.Event("status: the device is back at " + Printable(device_) +
                                  (inBootloader ? "" : ", running its application"));
                    TellPlace();
                    return {Comeback::How::Back, inBootloader};
                } catch (const EComPort&) {
                    retryOpen = true;
                }
            }
            if (!found.ambiguous.empty() && !retryOpen) {
                RefuseAmbiguous(found.ambiguous);
                return {Comeback::How::Ambiguous};
            }
            lock.lock();
        }
    }

    void TellPlace() { output_.Place(device_); }

    void RefuseAmbiguous(const std::vector<SerialPortInfo>& ports) {
        std::string reason = std::to_string(ports.size()) +
                             " adapters of this unit's USB identity appeared at once (";
        for (const SerialPortInfo& port : ports)
            reason += (&port == &ports.front() ? "" : ", ") + Printable(port.device);
        reason += "): which one it is cannot be told, so neither is upgraded";
        output_.Event("error: " + reason);
        report_.reason = reason;
    }

    // How the upgrade ended, said while its port is still open: a close that
    // has to wait for the line cannot hold the result back. Returns the exit
    // status.
    int Announce(UpgradeResult result) {
        report_.Conclude(result);
        if (result == UpgradeResult::Timeout)
            output_.Event("result: no reply moved the upgrade on for " +
                          std::to_string(options_.timeout.count()) + "s");
        else if (result == UpgradeResult::Interrupted)
            output_.Event("result: interrupted; the port is closed");
        if (result != UpgradeResult::Programmed)
            if (const std::string state = DeviceState(result); !state.empty())
                output_.Event("message: " + state);
        const std::string line =
            ResultLine(ResultName(result), ExitStatus(result), report_.Notes());
        output_.Result(line);

        // Each record says the exit status as far as it is known when it is
        // written: the parent believes a record only with the status the
        // process really ends with.
        std::vector<std::string> failures;
        if (trace_) {
            trace_->Note(line);
            if (const std::string error = trace_->WriteError(); !error.empty())
                failures.push_back("the trace " + options_.tracePath + " could not be written (" +
                                   error + ")");
        }
        const auto status = [&] {
            return failures.empty() ? ExitStatus(result) : OutputErrorStatus;
        };
        if (!options_.logPath.empty())
            if (const std::string error =
                    AppendRecord(options_.logPath, report_.Json(status()),
                                 {.interrupted = [this] { return Interrupted(); }});
                !error.empty())
                failures.push_back("the record could not be added to the log " + options_.logPath +
                                   " (" + error + ")");
        if (options_.json || options_.supervised || !options_.onUnit.empty())
            if (const std::string error = output_.Record(report_.Json(status())); !error.empty())
                failures.push_back("the JSON record could not be written (" + error + ")");
        for (const std::string& failure : failures)
            output_.Diagnostic("dedarida: " + failure + "; the upgrade itself ended: " + line);
        return status();
    }

    // What the upgrade's end leaves the device in, as far as the device
    // showed it; empty where it showed nothing (a port that did not open).
    std::string DeviceState(UpgradeResult result) const {
        if (report_.Entered(UpgradeReport::Erase))
            return LeftInBootloader();
        if (report_.PollsSent() > 0 && !report_.WentOffline() && report_.HandshakesBegun() > 0)
            return "the device answered neither the go-offline command nor a Poll: it may still "
                   "be running its application";
        if (report_.PollsSent() > 0)
            return "the bootloader answered no Poll; if the device is in its bootloader, recover "
                   "it with: dedarida --upgrade --port " +
                   port_ + " --from-bootloader";
        if (result == UpgradeResult::Timeout && report_.HandshakesBegun() > 1)
            return "the device began the upgrade handshake " +
                   std::to_string(report_.HandshakesBegun()) +
                   " times but never went offline: it is still running its application";
        return "";
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

    // First: an interrupt at any moment of the run finds them, and every
    // thread the unit starts inherits the blocked signals.
    std::mutex interruptMutex_;
    std::function<void()> onInterrupt_;
    SignalWatcher signals_{[this] { Interrupt(); }};
    const HeadlessOptions& options_;
    const HeadlessFirmware& firmware_;
    const std::string port_;
    UnitOutput& output_;
    UpgradeReport report_;
    std::optional<TrafficTrace> trace_;
    std::string device_;
    SerialPortInfo unit_;
};

} // namespace

int UpgradeUnit(const HeadlessOptions& options, const HeadlessFirmware& firmware,
                UnitOutput& output) {
    try {
        return Unit(options, firmware, output).Run();
    } catch (const std::system_error& failure) {
        output.Diagnostic("dedarida: " + std::string(failure.what()));
        return UsageStatus;
    }
}

} // namespace dedarida
