#include "app/headless/version_text.h"

#include "image/embedded_firmware.h"
#include "image/sha256.h"

namespace dedarida {

std::string VersionText() {
    const auto firmware = EmbeddedFirmware();
    return "dedarida " DEDARIDA_VERSION "\nbuilt-in firmware: " + std::to_string(firmware.size()) +
           " bytes, SHA-256 " + Sha256Hex(firmware) + "\n";
}

} // namespace dedarida
