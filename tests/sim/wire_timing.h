#pragma once

#include <chrono>
#include <cstddef>

namespace dedarida::sim::test {

// What `bytes` take on the wire at `baud`, 10 bits a byte, written out here on purpose.
inline std::chrono::duration<double> WireTime(std::size_t bytes, unsigned baud) {
    return std::chrono::duration<double>(static_cast<double>(bytes) * 10.0 / baud);
}

} // namespace dedarida::sim::test
