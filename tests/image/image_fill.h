#pragma once

#include "image/flash_image.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
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

// The bytes of `text` as a reader gets them.
inline std::span<const std::uint8_t> BytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace dedarida::test
