#include "sim/sim_flash.h"

#include <algorithm>

namespace dedarida::sim {

void SimFlash::Erase() {
    bytes_.fill(0xFF);
    written_.reset();
}

bool SimFlash::Program(std::uint32_t address, std::span<const std::uint8_t, FlashBlock> data) {
    if (address < FlashBase || address - FlashBase >= FlashSize ||
        (address - FlashBase) % FlashBlock != 0) {
        return false;
    }
    const std::size_t offset = address - FlashBase;
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    written_.set(offset / FlashBlock);
    return true;
}

bool SimFlash::Check(std::span<const std::uint8_t> reference) const {
    if (!written_.all()) {
        return false;
    }
    return reference.empty() ||
           std::equal(bytes_.begin(), bytes_.end(), reference.begin(), reference.end());
}

} // namespace dedarida::sim
