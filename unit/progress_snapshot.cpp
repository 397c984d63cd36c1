#include "unit/progress_snapshot.h"

#include "image/flash_image.h"

#include <algorithm>

namespace dedarida {

namespace {

constexpr int Blocks = TxSize / 1024;

const char* StepName(const UpgradeReport& report) {
    using Phase = UpgradeReport::Phase;
    static constexpr struct {
        Phase phase;
        const char* step;
    } steps[] = {{Phase::Check, "checking CRC"},
                 {Phase::Programming, "programming"},
                 {Phase::Erase, "erasing"},
                 {Phase::Polling, "waiting for the bootloader"},
                 {Phase::Handshake, "waiting for the bootloader"}};
    for (const auto& s : steps)
        if (report.Entered(s.phase))
            return s.step;
    return "identity";
}

} // namespace

int ProgressSnapshot::Percent() const {
    return std::clamp(blocksDone, 0, Blocks) * 100 / Blocks;
}

ProgressSnapshot SnapshotOf(const UpgradeReport& report, UpgradeReport::Clock::time_point now) {
    return {StepName(report), std::min(report.BlocksSent(), Blocks), report.BlocksDone(),
            std::chrono::duration<double>(now - report.Started()).count(), report.DataRate(now)};
}

} // namespace dedarida
