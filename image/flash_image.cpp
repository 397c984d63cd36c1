#include "image/flash_image.h"

#include "image/embedded_firmware.h"

#include <algorithm>

namespace dedarida {

void LoadFw(TFlashImage& FlashImage) {
    LoadFw(FlashImage, EmbeddedFirmware());
}

void LoadFw(TFlashImage& FlashImage, std::span<const std::uint8_t, TxSize> Firmware) {
    std::copy(Firmware.begin(), Firmware.end(), FlashImage.begin());
}

} // namespace dedarida
