#pragma once

#include <chrono>

namespace dedarida::sim {

using Clock = std::chrono::steady_clock;

// One byte on an asynchronous line: start bit, 8 data bits, stop bit.
inline constexpr unsigned BitsPerByte = 10;

inline constexpr Clock::duration ByteTime(unsigned baud) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
        static_cast<long long>(BitsPerByte) * 1'000'000'000LL / static_cast<long long>(baud)));
}

} // namespace dedarida::sim
