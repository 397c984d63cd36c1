#include "serial/settings/comport_types.h"

#include <array>
#include <cstddef>

namespace dedarida {

std::uint32_t BitsPerSecond(TBaudRate rate) {
    static constexpr std::array<std::uint32_t, 13> kBitsPerSecond = {
        110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    return kBitsPerSecond[static_cast<std::size_t>(rate)];
}

} // namespace dedarida
