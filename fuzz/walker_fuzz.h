#pragma once

// Arbitrary text through a record walker: it must stay inside the image and
// give the same image and findings however the text is cut into chunks (also
// between the CR and LF of a line end). The first byte picks the cut.
#include "image/flash_image.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

template <class Walker> int FuzzWalker(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> text(data + 1, size - 1);
    const std::size_t cut = text.empty() ? 0 : data[0] * text.size() / 255;

    // On the heap, sized exactly, so the sanitizer sees any write past the end.
    auto whole = std::make_unique<dedarida::TFlashImage>();
    auto split = std::make_unique<dedarida::TFlashImage>();
    whole->fill(0xFF);
    split->fill(0xFF);

    Walker one(*whole);
    one.Feed(text);
    one.Finish();
    Walker two(*split);
    two.Feed(text.first(cut));
    two.Feed(text.subspan(cut));
    two.Finish();

    if (*whole != *split || one.Findings() != two.Findings())
        std::abort();
    return 0;
}
