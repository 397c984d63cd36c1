#pragma once

#include "image/flash_image.h"
#include "image/records/record_findings.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida {

// Puts records' data into a flash image at index = address - AddressOffset.
// Bytes outside the TxSize bytes sent are counted (those still inside the
// image are stored), and a byte set again with another value is counted and
// keeps the later value. Not thread-safe.
class RecordStore {
public:
    explicit RecordStore(TFlashImage& FlashImage) : image_(FlashImage) {}

    // Data from flash address Address on, for the record on line Line; the
    // faults are noted in Found.
    void Store(std::uint64_t Address, std::span<const std::uint8_t> Data, std::size_t Line,
               RecordFindings& Found);

private:
    TFlashImage& image_;
    std::bitset<FlashImageSize> covered_;
};

} // namespace dedarida
