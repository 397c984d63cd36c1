#pragma once

#include <cstdint>
#include <numeric>
#include <span>

namespace dedarida::sim {

// The additive checksum of both protocols: the sum of the bytes, modulo 256.
inline std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0U) & 0xFFU);
}

} // namespace dedarida::sim
