#include "image/flash_image.h"

#include "image/embedded_firmware.h"

#include <algorithm>

namespace dedarida {

void LoadFw(TFlashImage& FlashImage) {
    const auto firmware = EmbeddedFirmware();
    std::copy(firmware.begin(), firmware.end(), FlashImage.begin());
}

} // namespace dedarida
