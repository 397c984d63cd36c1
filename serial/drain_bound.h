#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace dedarida {

// How long a close waits for queued output to leave: the wire time of what
// is queued when it starts (ten bits a byte) plus a margin for the adapter,
// and never past the last write's own time limit. A line that does not drain
// (a stalled adapter, flow control held off) is purged after that, instead of
// holding the close, and with it the window or the result, for minutes.
inline std::chrono::steady_clock::time_point
DrainDeadline(std::chrono::steady_clock::time_point now, std::uint64_t queuedBytes,
              std::uint32_t bitsPerSecond, std::chrono::steady_clock::time_point lastWriteLimit) {
    constexpr std::chrono::milliseconds margin{500};
    const std::chrono::milliseconds wire{queuedBytes * 10'000 /
                                         std::max<std::uint32_t>(bitsPerSecond, 1)};
    return std::min(now + wire + margin, lastWriteLimit);
}

} // namespace dedarida
