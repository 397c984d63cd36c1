#include "image/embedded_firmware.h"

extern "C" const std::uint8_t dedarida_embedded_firmware[];

namespace dedarida {

std::span<const std::uint8_t, EmbeddedFirmwareSize> EmbeddedFirmware() {
    return std::span<const std::uint8_t, EmbeddedFirmwareSize>(dedarida_embedded_firmware,
                                                               EmbeddedFirmwareSize);
}

} // namespace dedarida
