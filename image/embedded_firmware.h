#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida {

inline constexpr std::size_t EmbeddedFirmwareSize = 0x15800;

// The firmware the tool programs, linked into the executable at build time.
std::span<const std::uint8_t, EmbeddedFirmwareSize> EmbeddedFirmware();

} // namespace dedarida
