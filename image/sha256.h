#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace dedarida {

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 (FIPS 180-4) of `data`, so a technician can tell which image a
// binary or a file carries.
Sha256Digest Sha256(std::span<const std::uint8_t> data);
// The same digest as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const std::uint8_t> data);
// Each byte as two lower-case hex digits.
std::string HexText(std::span<const std::uint8_t> bytes);

} // namespace dedarida
