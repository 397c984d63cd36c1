#include "app/shared/station_board.h"

#include "image/flash_image.h"
#include "unit/upgrade_report.h"

#include <algorithm>
#include <cmath>

namespace dedarida {

namespace {

constexpr int Blocks = TxSize / 1024;
constexpr unsigned FailuresToFlag = 3;
constexpr std::size_t ShortSha256 = 12;

// A failed unit's result in the operator's words.
std::string ReasonOf(const std::string& result) {
    static const struct {
        UpgradeResult result;
        const char* words;
    } reasons[] = {
        {UpgradeResult::ProgramFail, "the device's final check of its flash failed"},
        {UpgradeResult::EraseRefused, "the device refused to erase its flash"},
        {UpgradeResult::LineError, "the line to the device was lost"},
        {UpgradeResult::Refused, "this device must not be upgraded"},
        {UpgradeResult::UnknownDevice, "the device is not recognised"},
        {UpgradeResult::Timeout, "the device stopped answering"},
        {UpgradeResult::PortError, "its port could not be opened"},
        {UpgradeResult::InBootloader, "the device is silent but its bootloader answers"},
        {UpgradeResult::Interrupted, "stopped before its end"},
        {UpgradeResult::Crashed, "the upgrade's process ended without its result"},
    };
    for (const auto& r : reasons)
        if (result == ResultName(r.result))
            return r.words;
    return result;
}

bool StartsWith(const std::string& text, const char* start) {
    return text.starts_with(start);
}

std::optional<double> Percent(unsigned part, unsigned whole) {
    if (whole == 0)
        return std::nullopt;
    return 100.0 * part / whole;
}

} // namespace

StationBoard::StationBoard(StationInfo info, std::function<Clock::time_point()> now)
    : now_(std::move(now)) {
    header_.shortSha256 = info.sha256.substr(0, ShortSha256);
    header_.info = std::move(info);
}

StationBoard::Slot* StationBoard::SlotOf(std::size_t row) {
    const auto found = slotOfRow_.find(row);
    return found == slotOfRow_.end() ? nullptr : &slots_[found->second];
}

void StationBoard::UnitBegins(std::size_t row, const UnitBeginning& unit) {
    std::lock_guard lock(mutex_);
    const std::string position = unit.position.empty() ? unit.port : unit.position;
    auto found = std::find_if(slots_.begin(), slots_.end(),
                              [&](const Slot& slot) { return slot.tile.position == position; });
    if (found == slots_.end()) {
        slots_.push_back({});
        found = slots_.end() - 1;
        found->tile.label = std::to_string(slots_.size());
        found->tile.position = position;
    }
    Slot& slot = *found;
    Tile& tile = slot.tile;
    tile.state = Tile::State::Running;
    tile.unit = unit.number;
    tile.serial = unit.usbSerial;
    tile.identity.clear();
    tile.phase = "starting";
    tile.percent = 0;
    tile.elapsed = 0;
    tile.remaining.reset();
    tile.verdict.clear();
    tile.reason.clear();
    tile.hint.clear();
    tile.instruction.clear();
    slot.began = now_();
    slot.leftInBootloader = false;
    slotOfRow_[row] = static_cast<std::size_t>(found - slots_.begin());
    ++header_.units;
}

void StationBoard::UnitEvent(std::size_t row, const std::string& line) {
    std::lock_guard lock(mutex_);
    Slot* slot = SlotOf(row);
    // What the unit says its end leaves the device in; a later attempt
    // that gets further says nothing of the kind.
    if (slot && StartsWith(line, "message: ") &&
        line.find("left in its bootloader") != std::string::npos)
        slot->leftInBootloader = true;
}

void StationBoard::UnitProgress(std::size_t row, const ProgressSnapshot& snapshot) {
    std::lock_guard lock(mutex_);
    Slot* slot = SlotOf(row);
    if (!slot || slot->tile.state == Tile::State::Waiting || !slot->tile.verdict.empty())
        return;
    Tile& tile = slot->tile;
    tile.state = Tile::State::Running;
    tile.phase = snapshot.step;
    tile.percent = snapshot.Percent();
    tile.remaining.reset();
    if (snapshot.bytesPerSecond && *snapshot.bytesPerSecond > 0 && snapshot.step == "programming")
        tile.remaining = static_cast<int>(std::ceil(std::max(0, Blocks - snapshot.blocksDone) *
                                                    1024.0 / *snapshot.bytesPerSecond));
}

void StationBoard::UnitWaiting(std::size_t row, std::chrono::seconds window) {
    std::lock_guard lock(mutex_);
    Slot* slot = SlotOf(row);
    if (!slot || !slot->tile.verdict.empty())
        return;
    slot->tile.state = Tile::State::Comeback;
    slot->tile.phase = "waiting for it to come back";
    slot->tile.remaining.reset();
    slot->waitEnds = now_() + window;
}

void StationBoard::UnitEnds(std::size_t row, const UpgradeSummary& summary) {
    std::lock_guard lock(mutex_);
    Slot* slot = SlotOf(row);
    if (!slot || !slot->tile.verdict.empty())
        return;
    Tile& tile = slot->tile;
    tile.identity = summary.identity;
    tile.elapsed = static_cast<int>(summary.seconds);
    tile.remaining.reset();
    tile.phase.clear();
    tile.instruction = "unplug it";
    if (summary.exitStatus == 0) {
        tile.state = Tile::State::Passed;
        tile.verdict = "PASS";
        tile.percent = 100;
        ++header_.passed;
        if (summary.attempts <= 1)
            ++firstPass_;
        slot->failedInTurn = 0;
    } else if (summary.result == ResultName(UpgradeResult::Interrupted)) {
        tile.state = Tile::State::Interrupted;
        tile.verdict = "INTERRUPTED";
        tile.reason = ReasonOf(summary.result);
        ++header_.interrupted;
    } else {
        tile.state = Tile::State::Failed;
        tile.verdict = "FAIL";
        tile.reason = ReasonOf(summary.result);
        ++tile.failures;
        ++header_.failed;
        ++slot->failedInTurn;
    }
    if (tile.state != Tile::State::Passed && slot->leftInBootloader)
        tile.hint = "left in its bootloader: plug it in again to upgrade it from there";
    ++tile.units;
    tile.flagged = slot->failedInTurn >= FailuresToFlag;
}

void StationBoard::UnitGone(std::size_t row) {
    std::lock_guard lock(mutex_);
    Slot* slot = SlotOf(row);
    if (!slot)
        return;
    Tile& tile = slot->tile;
    const Tile kept = tile;
    tile = {};
    tile.label = kept.label;
    tile.position = kept.position;
    tile.units = kept.units;
    tile.failures = kept.failures;
    tile.flagged = kept.flagged;
    tile.state = Tile::State::Waiting;
    tile.instruction = "waiting";
    slotOfRow_.erase(row);
}

void StationBoard::Line(const std::string& line) {
    std::lock_guard lock(mutex_);
    header_.notice = line;
}

unsigned StationBoard::RunningLocked() const {
    return static_cast<unsigned>(std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) {
        return s.tile.state == Tile::State::Running || s.tile.state == Tile::State::Comeback;
    }));
}

unsigned StationBoard::Running() const {
    std::lock_guard lock(mutex_);
    return RunningLocked();
}

BoardSnapshot StationBoard::Snapshot() const {
    std::lock_guard lock(mutex_);
    const Clock::time_point now = now_();
    BoardSnapshot snapshot{header_, {}};
    BoardHeader& header = snapshot.header;
    header.running = RunningLocked();
    const unsigned tested = header.passed + header.failed;
    header.yieldPercent = Percent(header.passed, tested);
    header.firstPassYieldPercent = Percent(firstPass_, tested);
    snapshot.tiles.reserve(slots_.size());
    for (const Slot& slot : slots_) {
        Tile tile = slot.tile;
        if (tile.state == Tile::State::Running || tile.state == Tile::State::Comeback)
            tile.elapsed = static_cast<int>(
                std::chrono::duration_cast<std::chrono::seconds>(now - slot.began).count());
        if (tile.state == Tile::State::Comeback)
            tile.countdown =
                std::max(0, static_cast<int>(std::ceil(
                                std::chrono::duration<double>(slot.waitEnds - now).count())));
        snapshot.tiles.push_back(std::move(tile));
    }
    return snapshot;
}

} // namespace dedarida
