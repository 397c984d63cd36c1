#pragma once

#include "image/firmware_choice.h"
#include "unit/run_options.h"

#include <memory>
#include <string>

namespace dedarida {

// The image a headless upgrade sends, and how its result names it.
struct HeadlessFirmware {
    std::unique_ptr<FirmwareImage> file; // null: the built-in image
    std::string sha256;
    // For a file: --firmware-version, or the file's name and SHA-256. Empty
    // for the built-in image, whose version the device's identity selects.
    std::string version;

    std::span<const std::uint8_t, TxSize> Bytes() const;
    // "firmware: FILE, N bytes covered, sha256 HEX"; empty for the built-in image.
    std::string Line(const HeadlessOptions& options) const;
};

// Reads --firmware (its pinned copy when a fleet's parent gives one), or
// takes the built-in image; raises EFirmwareRefused when the file is refused
// or the image is not the one --expect-sha256 names.
HeadlessFirmware ChooseFirmware(const HeadlessOptions& options);

} // namespace dedarida
