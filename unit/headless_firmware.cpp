#include "unit/headless_firmware.h"

#include "image/embedded_firmware.h"
#include "image/sha256.h"

namespace dedarida {

std::span<const std::uint8_t, TxSize> HeadlessFirmware::Bytes() const {
    if (file)
        return file->Bytes;
    return EmbeddedFirmware();
}

std::string HeadlessFirmware::Line(const HeadlessOptions& options) const {
    // A pinned image's line was the parent's to say, of the file it read.
    if (!file || !options.pinnedFirmwarePath.empty())
        return {};
    return "firmware: " + options.firmwarePath + ", " + std::to_string(file->BytesCovered) +
           " bytes covered, sha256 " + sha256;
}

HeadlessFirmware ChooseFirmware(const HeadlessOptions& options) {
    HeadlessFirmware firmware;
    if (!options.firmwarePath.empty()) {
        firmware.file = std::make_unique<FirmwareImage>(
            LoadFirmwareImage(options.pinnedFirmwarePath.empty() ? options.firmwarePath
                                                                 : options.pinnedFirmwarePath));
        firmware.version = options.firmwareVersion;
    }
    firmware.sha256 = Sha256Hex(firmware.Bytes());
    if (!options.expectSha256.empty() && firmware.sha256 != options.expectSha256)
        throw EFirmwareRefused((options.firmwarePath.empty() ? std::string("the built-in image")
                                                             : options.firmwarePath) +
                               " has SHA-256 " + firmware.sha256 + ", not the expected " +
                               options.expectSha256);
    if (firmware.file && firmware.version.empty())
        firmware.version = options.firmwarePath + " sha256 " + firmware.sha256;
    return firmware;
}

} // namespace dedarida
