#include "link/link.h"

#include <numeric>

namespace dedarida {

bool Link::FrameChecksumOk(std::uint8_t n, const TRxFrame& buffer) {
    if (n < 1 || n >= buffer.size())
        return false;
    const auto sum = std::accumulate(buffer.begin(), buffer.begin() + n, std::uint8_t{0},
                                     [](std::uint8_t total, std::uint8_t byte) {
                                         return static_cast<std::uint8_t>(total + byte);
                                     });
    return buffer[n] == sum;
}

} // namespace dedarida
