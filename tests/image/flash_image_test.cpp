#include "image/embedded_firmware.h"
#include "image/flash_image.h"
#include "tests/image/image_fill.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace dedarida {
namespace {

TEST(FlashImage, LoadFwCopiesTheFirmwareAndLeavesTheRest) {
    TFlashImage image = test::Filled(0xA5);
    LoadFw(image);
    const auto firmware = EmbeddedFirmware();
    EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), image.begin()));
    EXPECT_TRUE(std::all_of(image.begin() + TxSize, image.end(), [](auto b) { return b == 0xA5; }));
}

TEST(FlashImage, EmbeddedFirmwareHoldsDleInSeveralBlocks) {
    const auto firmware = EmbeddedFirmware();
    int blocks = 0;
    for (std::size_t start = 0; start < firmware.size(); start += 1024) {
        const auto block = firmware.subspan(start, 1024);
        blocks += std::find(block.begin(), block.end(), 0x10) != block.end() ? 1 : 0;
    }
    EXPECT_GE(blocks, 3);
}

} // namespace
} // namespace dedarida
