#include "app/headless/headless_firmware.h"

#include "image/embedded_firmware.h"
#include "image/sha256.h"

namespace dedarida {

std::span<const std::uint8_t, TxSize> HeadlessFirmware::Bytes() const {
    if (file)
        return file->Bytes;
    return EmbeddedFirmware();
}

std::string HeadlessFirmware::Line(const HeadlessOptions& options) const {
    if (!file)
        return {};
    return "firmware: " + options.firmwarePath + ", " + std::to_string(file->BytesCovered) +
           " bytes covered, sha256 " + sha256;
}

HeadlessFirmware ChooseFirmware(const HeadlessOptions& options) {
    HeadlessFirmware firmware;
    if (!options.firmwarePath.empty()) {
        firmware.file = std::make_unique<FirmwareImage>(LoadFirmwareImage(options.firmwarePath));
        firmware.version = options.firmwareVersion;
    }
    firmware.sha256 = Sha256Hex(firmware.Bytes());
    if (firmware.file && firmware.version.empty())
        firmware.version = options.firmwarePath + " sha256 " + firmware.sha256;
    return firmware;
}

} // namespace dedarida
