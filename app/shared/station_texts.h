#pragma once

#include "app/shared/station_board.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dedarida {

// What both station windows write and paint alike, so that an operator who
// moves between a Linux and a Windows line sees the same words and colours.

// "m:ss"; a negative time shows as 0:00.
std::string ClockText(int seconds);

// "62.5 %", or "-" before the first unit passed or failed.
std::string PercentText(const std::optional<double>& percent);

// "3 units   2 passed   1 failed   0 interrupted   yield 66.7 %   first-pass
// yield 33.3 %".
std::string CountersText(const BoardHeader& header);

// "1 unit, 0 failed".
std::string UnitsText(unsigned units, unsigned failures);

// "Firmware fw451.s28 (v4.5.1)   SHA-256 9f2c…   job line-3   log units.jsonl".
std::string FirmwareText(const BoardHeader& header);

// Each slot's units and failures, a flagged one said so; "no unit yet".
std::string SlotsText(const std::vector<Tile>& tiles);

// What closing the window while units run asks.
std::string StopQuestion(unsigned running);

struct Rgb {
    std::uint8_t red, green, blue;
};

struct TileColours {
    Rgb background;
    Rgb text;
};

// PASS green, FAIL red, interrupted grey, a wait for a comeback amber.
TileColours ColoursOf(Tile::State state);

inline constexpr Rgb ProgressColour{0x15, 0x65, 0xc0};
// The frame of a slot whose last units failed.
inline constexpr Rgb FlagColour{0xff, 0x8f, 0x00};

} // namespace dedarida
