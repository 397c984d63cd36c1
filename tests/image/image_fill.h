#pragma once

#include "image/flash_image.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace dedarida::test {

// An image of `value` with the listed bytes set at their indices.
inline TFlashImage Filled(std::uint8_t value,
                          std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes = {}) {
    TFlashImage image;
    image.fill(value);
    for (auto [index, byte] : bytes)
        image[index] = byte;
    return image;
}

} // namespace dedarida::test
