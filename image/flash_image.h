#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida {

// Flash address of FlashImage index 0, and how many bytes from index 0 go to
// the device (86 blocks of 1024).
inline constexpr std::int32_t AddressOffset = 0xE8800;
inline constexpr std::int32_t TxSize = 0x15800;
inline constexpr std::size_t FlashImageSize = 0x16001;

// The in-memory flash contents: index = flash address - AddressOffset.
using TFlashImage = std::array<std::uint8_t, FlashImageSize>;

static_assert(TxSize % 1024 == 0 && TxSize <= static_cast<std::int32_t>(FlashImageSize));

// Copies EmbeddedFirmware (or `Firmware`) over indices 0 .. TxSize-1; the
// rest is untouched.
void LoadFw(TFlashImage& FlashImage);
void LoadFw(TFlashImage& FlashImage, std::span<const std::uint8_t, TxSize> Firmware);

} // namespace dedarida
