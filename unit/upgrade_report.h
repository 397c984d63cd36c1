#pragma once

#include "serial/settings/line_records.h"
#include "upgrade/programmer_window.h"

#include <array>
#include <chrono>
#include <optional>
#include <string>

namespace dedarida {

// 38400 baud at ten bits a byte.
inline constexpr double LineLimitBytesPerSecond = 3840.0;

// How one headless upgrade ended; the exit status is the enum's value.
enum class UpgradeResult {
    Programmed = 0,
    ProgramFail = 1,
    EraseRefused = 101, // exits 1 as well
    LineError = 103,    // the line failed during the upgrade; exits 1 as well
    Refused = 2,
    UnknownDevice = 102, // exits 2 as well
    Timeout = 3,
    PortError = 4,
    InBootloader = 5, // silent, but its bootloader answers: not upgraded
    Interrupted = 130,
    Crashed = 104, // the upgrade's own process died; exits 1 as well
};

int ExitStatus(UpgradeResult result);

// The exit status of a run whose upgrades ended, but whose --json record,
// --trace file or --log record could not be written.
inline constexpr int OutputErrorStatus = 74;
const char* ResultName(UpgradeResult result);

// What the result line adds to the result: answers the device gave that did
// not stop the upgrade, and the line's errors.
struct ResultNotes {
    int verifyErrors = 0;
    int commandErrors = 0;
    LineErrorCounts lineErrors;
    int mismatchedReplies = 0;
    bool operator==(const ResultNotes&) const = default;
};

// Follows an upgrade through what the controller shows in the window: the
// phases and their times, the blocks sent, the errors the device reported,
// and the outcome. Main thread only, except where it says otherwise.
class UpgradeReport {
public:
    using Clock = std::chrono::steady_clock;
    enum Phase { Identity, Handshake, Polling, Erase, Programming, Check, PhaseCount };
    static const char* PhaseName(Phase phase);

    explicit UpgradeReport(Phase first);

    // Feeds what the window was told; the upgrade moves on with each.
    void PanelText(int index, const std::string& text);
    void Progress(int position);
    void Message(MessageKind kind, const std::string& text);
    // The controller's outcome; the first one holds.
    void Finish(UpgradeResult result);
    // The unit's last word, which may differ from the controller's outcome (a
    // lost line not come back, then an interrupt): the record's result, time
    // and seconds.
    void Conclude(UpgradeResult result);
    // Another attempt, from `first` (the bootloader's Polling, or Identity
    // for a device back in its application): the result, the blocks and the
    // phases from `first` on start again; the attempts count up.
    void Retry(Phase first);
    int Attempts() const { return attempts_; }

    std::optional<UpgradeResult> Result() const { return result_; }
    // When a reply last moved the upgrade on.
    Clock::time_point LastProgress() const { return lastProgress_; }
    Clock::time_point Started() const { return start_; }
    // When the upgrade entered `phase`, if it has.
    std::optional<Clock::time_point> Entered(Phase phase) const { return entered_[phase]; }
    int BlocksSent() const { return blocksSent_; }
    // This attempt's upgrade handshakes begun (a device that repeats its
    // identity begins one each time) and Polls sent.
    int HandshakesBegun() const { return handshakes_; }
    int PollsSent() const { return polls_; }
    // Whether this attempt saw the device answer "GOING OFFLINE".
    bool WentOffline() const { return appStep_ >= OfflineStep; }
    ResultNotes Notes() const {
        return {verifyErrors_, commandErrors_, lineErrors, mismatchedReplies};
    }
    // Blocks the device has answered: all sent ones once the check has begun.
    int BlocksDone() const;
    // Bytes a second the device took while programming, up to the check or
    // `now`; none before programming began.
    std::optional<double> DataRate(Clock::time_point now) const;

    std::string identity;
    std::string port;
    // The image sent: its file (empty for the built-in one), its SHA-256 and
    // the version named for it.
    std::string firmwareFile;
    std::string firmwareSha256;
    std::string firmwareVersion;
    // The port's, taken when the upgrade ends.
    LineErrorCounts lineErrors;
    // Bootloader replies the controller discarded as answering no request.
    int mismatchedReplies = 0;
    // Why the upgrade could not begin (a port error), for the record.
    std::string reason;
    // For the --log record: the station and the adapter's serial number.
    std::string stationName;
    std::string usbSerial;
    // The job that fixed the run, and its file's SHA-256; empty without one.
    std::string jobName;
    std::string jobSha256;

    // The record printed with --json; `exitStatus` is the process's when it
    // is not the result's own (an output that could not be written).
    std::string Json(std::optional<int> exitStatus = std::nullopt) const;

private:
    // How far the application has come: a device that begins the handshake
    // again moves the upgrade on only where it gets further.
    enum AppStep { NoStep, HandshakeStep, ReadyStep, OfflineStep };

    void Enter(Phase phase);
    void Moved() { lastProgress_ = Clock::now(); }
    void Reach(AppStep step);

    Clock::time_point start_ = Clock::now();
    Clock::time_point lastProgress_ = start_;
    std::array<std::optional<Clock::time_point>, PhaseCount> entered_{};
    std::optional<Clock::time_point> finished_;
    std::optional<Clock::time_point> concluded_;
    std::chrono::system_clock::time_point concludedAt_{};
    int attempts_ = 1;
    int blocksSent_ = 0;
    int handshakes_ = 0;
    int polls_ = 0;
    AppStep appStep_ = NoStep;
    int verifyErrors_ = 0;
    int commandErrors_ = 0;
    std::optional<UpgradeResult> result_;
};

// "result: programmed (exit 0)", then what the notes hold, for example
// "; 2 blocks answered \"Verify error\"; 1 reply discarded, answering no
// request; line errors: 1 framing, 0 parity,
// 0 overrun, 0 break".
std::string ResultLine(const std::string& resultName, int exitStatus,
                       const ResultNotes& notes = {});

} // namespace dedarida
