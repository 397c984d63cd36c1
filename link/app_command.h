#pragma once

#include <cstdint>

namespace dedarida {

// Application-mode command codes the controller sends.
inline constexpr std::uint8_t AppCommandIdentity = 0x03;
inline constexpr std::uint8_t AppCommandStartUpgrade = 0xF6;
inline constexpr std::uint8_t AppCommandGoOffline = 0x69;

} // namespace dedarida
