#pragma once

#include "image/flash_image.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace dedarida {

// The image a fleet sends to every unit, written once to a file in a folder
// of its own under the temporary directory, so that a firmware file replaced
// during a shift cannot change what later units get. The folder goes with the
// object. Raises std::filesystem::filesystem_error when it cannot be written.
class PinnedImage {
public:
    explicit PinnedImage(std::span<const std::uint8_t, TxSize> bytes);
    ~PinnedImage();
    PinnedImage(const PinnedImage&) = delete;
    PinnedImage& operator=(const PinnedImage&) = delete;

    // The file, in UTF-8.
    std::string Path() const;

private:
    std::filesystem::path folder_;
};

} // namespace dedarida
