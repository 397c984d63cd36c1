#pragma once

#include <cstdint>
#include <string>

namespace dedarida {

// BootCommand codes: the one-byte request codes of the bootloader.
inline constexpr std::uint8_t BootPoll = 1;
inline constexpr std::uint8_t BootEraseFlash = 2;
inline constexpr std::uint8_t BootProgram = 3;
inline constexpr std::uint8_t BootStartApplication = 4;
inline constexpr std::uint8_t BootFwId = 6;

// The status-bar text of a bootloader request; an unknown code leaves `text`
// as it is.
void GetCommandStr(std::uint8_t code, std::string& text);

} // namespace dedarida
