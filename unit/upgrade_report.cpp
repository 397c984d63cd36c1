#include "unit/upgrade_report.h"

#include "image/flash_image.h"
#include "image/sha256.h"
#include "text/json_text.h"
#include "unit/version_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dedarida {

namespace {

double Seconds(UpgradeReport::Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// "2026-12-09T17:02:11.483Z"
std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto day = floor<days>(when);
    const year_month_day date(day);
    const hh_mm_ss time(floor<milliseconds>(when - day));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()),
                  int(time.subseconds().count()));
    return text;
}

// Milliseconds are all a person or a script needs of a phase time.
double Rounded(double value) {
    return std::round(value * 1000.0) / 1000.0;
}

} // namespace

int ExitStatus(UpgradeResult result) {
    switch (result) {
    case UpgradeResult::EraseRefused:
    case UpgradeResult::LineError:
    case UpgradeResult::Crashed:
        return 1;
    case UpgradeResult::UnknownDevice:
        return 2;
    default:
        return static_cast<int>(result);
    }
}

const char* ResultName(UpgradeResult result) {
    switch (result) {
    case UpgradeResult::Programmed:
        return "programmed";
    case UpgradeResult::ProgramFail:
        return "program-fail";
    case UpgradeResult::EraseRefused:
        return "erase-refused";
    case UpgradeResult::LineError:
        return "line-error";
    case UpgradeResult::Refused:
        return "refused";
    case UpgradeResult::UnknownDevice:
        return "unknown-device";
    case UpgradeResult::Timeout:
        return "timeout";
    case UpgradeResult::PortError:
        return "port-error";
    case UpgradeResult::InBootloader:
        return "in-bootloader";
    case UpgradeResult::Interrupted:
        return "interrupted";
    case UpgradeResult::Crashed:
        return "crashed";
    }
    return "unknown";
}

const char* UpgradeReport::PhaseName(Phase phase) {
    static const char* const names[PhaseCount] = {"identity", "handshake",   "polling",
                                                  "erase",    "programming", "check"};
    return names[phase];
}

UpgradeReport::UpgradeReport(Phase first) {
    entered_[first] = start_;
}

void UpgradeReport::Enter(Phase phase) {
    if (!entered_[phase])
        entered_[phase] = Clock::now();
}

void UpgradeReport::Reach(AppStep step) {
    if (step <= appStep_)
        return;
    appStep_ = step;
    Moved();
}

void UpgradeReport::PanelText(int index, const std::string& text) {
    if (index == 2) {
        if (text == "Poll") {
            Enter(Polling);
            ++polls_;
        } else if (text == "Erase Flash") {
            Enter(Erase);
            Moved();
        } else if (text == "Program") {
            ++blocksSent_;
            Moved();
        } else if (text == "Start Application") {
            Enter(Check);
            Moved();
        }
        return;
    }
    if (index != 1)
        return;
    // Before the bootloader only getting further in the handshake is
    // progress: a device may begin it again and again.
    if (entered_[Polling])
        Moved();
    if (text == "START UPGRADE") {
        Enter(Handshake);
        ++handshakes_;
        Reach(HandshakeStep);
    } else if (text.find("GOING OFFLINE") != std::string::npos) {
        Reach(OfflineStep);
    } else if (text.find("READY TO UPGRADE") != std::string::npos) {
        Reach(ReadyStep);
    } else if (text == " Flash erase OK") {
        Enter(Programming);
    } else if (text == "Verify error") {
        ++verifyErrors_;
    } else if (text == "Command 3 Error") {
        ++commandErrors_;
    } else if (text == "Send Data Fail") {
        Finish(UpgradeResult::EraseRefused);
    }
}

void UpgradeReport::Progress(int) {
    Moved();
}

void UpgradeReport::Message(MessageKind kind, const std::string& text) {
    Moved();
    if (kind == MessageKind::Error)
        Finish(UpgradeResult::ProgramFail);
    else if (text.starts_with("System Programmed OK"))
        Finish(UpgradeResult::Programmed);
    else if (text == "You can not update this device !")
        Finish(UpgradeResult::Refused);
    else if (text == "Unknown device !")
        Finish(UpgradeResult::UnknownDevice);
}

void UpgradeReport::Finish(UpgradeResult result) {
    if (result_)
        return;
    result_ = result;
    finished_ = Clock::now();
}

void UpgradeReport::Conclude(UpgradeResult result) {
    Finish(result);
    result_ = result;
    concluded_ = Clock::now();
    concludedAt_ = std::chrono::system_clock::now();
}

void UpgradeReport::Retry(Phase first) {
    result_.reset();
    finished_.reset();
    concluded_.reset();
    ++attempts_;
    blocksSent_ = 0;
    handshakes_ = 0;
    polls_ = 0;
    appStep_ = NoStep;
    for (int p = first; p < PhaseCount; ++p)
        entered_[p].reset();
    Enter(first);
    Moved();
}

int UpgradeReport::BlocksDone() const {
    return entered_[Check] ? blocksSent_ : std::max(0, blocksSent_ - 1);
}

std::optional<double> UpgradeReport::DataRate(Clock::time_point now) const {
    if (!entered_[Programming])
        return std::nullopt;
    const double seconds =
        Seconds(std::min(now, entered_[Check].value_or(now)) - *entered_[Programming]);
    return seconds > 0 ? BlocksDone() * 1024.0 / seconds : 0.0;
}

std::string UpgradeReport::Json(std::optional<int> exitStatus) const {
    const auto end = finished_.value_or(Clock::now());
    const auto last = concluded_.value_or(end);
    dedarida::Json phases = dedarida::Json::object();
    for (int p = 0; p < PhaseCount; ++p) {
        if (!entered_[p])
            continue;
        auto until = end;
        for (int next = p + 1; next < PhaseCount; ++next)
            if (entered_[next]) {
                until = *entered_[next];
                break;
            }
        phases[PhaseName(static_cast<Phase>(p))] = Rounded(Seconds(until - *entered_[p]));
    }
    dedarida::Json rate;
    if (const auto measured = DataRate(end)) {
        const double bytesPerSecond = *measured;
        rate = {{"bytesPerSecond", Rounded(bytesPerSecond)},
                {"limitBytesPerSecond", LineLimitBytesPerSecond},
                {"fractionOfLimit", Rounded(bytesPerSecond / LineLimitBytesPerSecond)}};
    }
    const UpgradeResult result = result_.value_or(UpgradeResult::Interrupted);
    const dedarida::Json firmware = {
        {"file", firmwareFile.empty() ? dedarida::Json() : dedarida::Json(firmwareFile)},
        {"sha256", firmwareSha256},
        {"version", firmwareVersion}};
    dedarida::Json record = {
        {"time", UtcTimestamp(concluded_ ? concludedAt_ : std::chrono::system_clock::now())},
        {"toolVersion", ToolVersion()},
        {"port", port},
        {"identity", identity},
        {"firmware", firmware},
        {"result", ResultName(result)},
        {"exitStatus", exitStatus.value_or(ExitStatus(result))},
        {"seconds", Rounded(Seconds(last - start_))},
        {"phases", phases},
        {"blocksSent", blocksSent_},
        {"blocksInImage", TxSize / 1024},
        {"verifyErrors", verifyErrors_},
        {"commandErrors", commandErrors_},
        {"mismatchedReplies", mismatchedReplies},
        {"lineErrors",
         {{"framing", lineErrors.framing},
          {"parity", lineErrors.parity},
          {"overrun", lineErrors.overrun},
          {"breaks", lineErrors.breaks}}},
        {"dataRate", rate},
        {"attempts", attempts_}};
    if (!reason.empty())
        record["reason"] = reason;
    if (!stationName.empty())
        record["station"] = stationName;
    if (!jobName.empty())
        record["job"] = {{"name", jobName}, {"sha256", jobSha256}};
    if (!usbSerial.empty()) {
        record["usbSerial"] = usbSerial;
        // Its text shows U+FFFD for each byte that is no UTF-8, so two
        // serials could read alike: the bytes tell them apart.
        if (!IsUtf8(usbSerial))
            record["usbSerialBytes"] = HexText(std::span(
                reinterpret_cast<const std::uint8_t*>(usbSerial.data()), usbSerial.size()));
    }
    return JsonText(record);
}

std::string ResultLine(const std::string& resultName, int exitStatus, const ResultNotes& notes) {
    std::string line = "result: " + resultName + " (exit " + std::to_string(exitStatus) + ")";
    const auto answered = [&](int blocks, const char* answer) {
        if (blocks > 0)
            line += "; " + std::to_string(blocks) + (blocks == 1 ? " block" : " blocks") +
                    " answered \"" + answer + "\"";
    };
    answered(notes.verifyErrors, "Verify error");
    answered(notes.commandErrors, "Command 3 Error");
    if (notes.mismatchedReplies > 0)
        line += "; " + std::to_string(notes.mismatchedReplies) +
                (notes.mismatchedReplies == 1 ? " reply" : " replies") +
                " discarded, answering no request";
    if (const LineErrorCounts& e = notes.lineErrors; e.Any())
        line += "; line errors: " + std::to_string(e.framing) + " framing, " +
                std::to_string(e.parity) + " parity, " + std::to_string(e.overrun) + " overrun, " +
                std::to_string(e.breaks) + " break";
    return line;
}

} // namespace dedarida
