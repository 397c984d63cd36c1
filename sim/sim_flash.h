#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida::sim {

// The device's application flash, 0x0E8800 to 0x0FDFFF, written in blocks of 1024.
inline constexpr std::uint32_t FlashBase = 0x0E8800;
inline constexpr std::size_t FlashBlock = 1024;
inline constexpr std::size_t FlashBlocks = 86;
inline constexpr std::size_t FlashSize = FlashBlock * FlashBlocks;

class SimFlash {
public:
    // Erased state: all 0xFF, no block written.
    void Erase();
    // False (and nothing stored) unless the address starts a block inside the flash.
    bool Program(std::uint32_t address, std::span<const std::uint8_t, FlashBlock> data);
    // Every block written since the erase and, if a reference is given, equal to it.
    bool Check(std::span<const std::uint8_t> reference) const;

    const std::array<std::uint8_t, FlashSize>& Bytes() const { return bytes_; }

private:
    std::array<std::uint8_t, FlashSize> bytes_ = Erased();
    std::bitset<FlashBlocks> written_;

    static std::array<std::uint8_t, FlashSize> Erased() {
        std::array<std::uint8_t, FlashSize> erased;
        erased.fill(0xFF);
        return erased;
    }
};

} // namespace dedarida::sim
