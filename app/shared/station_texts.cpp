#include "app/shared/station_texts.h"

#include <algorithm>
#include <cstdio>

namespace dedarida {

namespace {

std::string Count(unsigned n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

constexpr Rgb White{0xff, 0xff, 0xff};
constexpr Rgb Black{0, 0, 0};

} // namespace

std::string ClockText(int seconds) {
    seconds = std::max(seconds, 0);
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
    return text;
}

std::string PercentText(const std::optional<double>& percent) {
    if (!percent)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", *percent);
    return text;
}

std::string CountersText(const BoardHeader& header) {
    return Count(header.units, "unit") + "   " + std::to_string(header.passed) + " passed   " +
           std::to_string(header.failed) + " failed   " + std::to_string(header.interrupted) +
           " interrupted   yield " + PercentText(header.yieldPercent) + "   first-pass yield " +
           PercentText(header.firstPassYieldPercent);
}

std::string UnitsText(unsigned units, unsigned failures) {
    return Count(units, "unit") + ", " + std::to_string(failures) + " failed";
}

std::string FirmwareText(const BoardHeader& header) {
    const StationInfo& info = header.info;
    std::string text = "Firmware " + info.firmware + "   SHA-256 " + header.shortSha256;
    if (!info.job.empty())
        text += "   job " + info.job;
    return text + "   log " + (info.log.empty() ? "none" : info.log);
}

std::string SlotsText(const std::vector<Tile>& tiles) {
    if (tiles.empty())
        return "no unit yet";
    std::string text;
    for (const Tile& tile : tiles) {
        if (!text.empty())
            text += "     ";
        text += "slot " + tile.label + ": " + UnitsText(tile.units, tile.failures);
        if (tile.flagged)
            text += " (last 3 failed: check the fixture)";
    }
    return text;
}

std::string StopQuestion(unsigned running) {
    const bool one = running == 1;
    return std::to_string(running) + (one ? " unit is" : " units are") + " still running. Stop " +
           (one ? "it" : "them") + " now? Each ends \"interrupted\" with its record.";
}

TileColours ColoursOf(Tile::State state) {
    switch (state) {
    case Tile::State::Passed:
        return {{0x2e, 0x7d, 0x32}, White};
    case Tile::State::Failed:
        return {{0xc6, 0x28, 0x28}, White};
    case Tile::State::Interrupted:
        return {{0x75, 0x75, 0x75}, White};
    case Tile::State::Comeback:
        return {{0xff, 0xe0, 0x82}, Black};
    case Tile::State::Waiting:
        return {{0xee, 0xee, 0xee}, {0x61, 0x61, 0x61}};
    case Tile::State::Running:
        break;
    }
    return {{0xe3, 0xec, 0xf7}, Black};
}

} // namespace dedarida
