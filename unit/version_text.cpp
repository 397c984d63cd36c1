#include "unit/version_text.h"

#include "image/embedded_firmware.h"
#include "image/sha256.h"

namespace dedarida {

const char* ToolVersion() {
    return DEDARIDA_VERSION;
}

std::string VersionText() {
    const auto firmware = EmbeddedFirmware();
    return "dedarida " + std::string(ToolVersion()) +
           "\nbuilt-in firmware: " + std::to_string(firmware.size()) + " bytes, SHA-256 " +
           Sha256Hex(firmware) + "\n";
}

} // namespace dedarida
