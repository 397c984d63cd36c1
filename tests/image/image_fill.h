#pragma once

#include "image/flash_image.h"

#include <cstdint>

namespace dedarida::test {

inline TFlashImage Filled(std::uint8_t value) {
    TFlashImage image;
    image.fill(value);
    return image;
}

} // namespace dedarida::test
