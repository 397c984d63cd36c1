#pragma once

#include <cstdint>

namespace dedarida {

// Bytes with a fixed meaning on the line, in requests and replies alike.
inline constexpr std::uint8_t Dle = 0x10;
inline constexpr std::uint8_t AppStart = 0x55;
inline constexpr std::uint8_t AppFixed = 0x30;
inline constexpr std::uint8_t AppMarker = 0x3F;

} // namespace dedarida
