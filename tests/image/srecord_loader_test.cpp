#include "image/srecord_loader.h"
#include "tests/image/image_fill.h"
#include "tests/image/temp_dir.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace dedarida {
namespace {

using test::Filled;
using test::TempDir;

constexpr std::size_t BytesPerLine = 32;
constexpr std::size_t Lines = 2400;

std::uint8_t Pattern(std::size_t index) {
    return static_cast<std::uint8_t>(index * 7 + 3);
}

// S2 lines of 78 characters each carrying 32 pattern bytes from index 0 on;
// 78 does not divide the chunk size, so a record straddles each chunk boundary.
std::string PatternFile() {
    std::string text;
    char field[16];
    for (std::size_t line = 0; line < Lines; ++line) {
        std::snprintf(field, sizeof field, "S224%06zX",
                      static_cast<std::size_t>(AddressOffset) + line * BytesPerLine);
        text += field;
        for (std::size_t k = 0; k < BytesPerLine; ++k) {
            std::snprintf(field, sizeof field, "%02X", Pattern(line * BytesPerLine + k));
            text += field;
        }
        text += "00\r\n";
    }
    return text;
}

struct Loader {
    UntypedFile file;
    std::unique_ptr<TReadBuffer> buffer = std::make_unique<TReadBuffer>();
    TFlashImage image = Filled(0x5A);
};

TEST(LoadSRecordFile, FileOfSeveralChunksLoadsWhatItHolds) {
    TempDir dir;
    const std::string text = PatternFile();
    ASSERT_GT(text.size(), 2 * ReadBufferSize);
    ASSERT_NE(ReadBufferSize % 78, 0u);
    Loader loader;
    loader.file.Assign(dir.Write("big.mot", text));

    const SRecordLoad result = LoadSRecordFile(loader.file, *loader.buffer, loader.image);

    EXPECT_TRUE(result.Loaded);
    EXPECT_EQ(result.OutOfRangeBytes, 0u);
    TFlashImage expected = Filled(0xFF);
    for (std::size_t i = 0; i < Lines * BytesPerLine; ++i)
        expected[i] = Pattern(i);
    EXPECT_EQ(loader.image, expected);
}

TEST(LoadSRecordFile, ReloadReadsFromTheStartAgain) {
    TempDir dir;
    Loader loader;
    loader.file.Assign(dir.Write("small.s", "S2060E8810C1C2D0\r\n"));
    LoadSRecordFile(loader.file, *loader.buffer, loader.image);
    loader.image[0x10] = 0;
    LoadSRecordFile(loader.file, *loader.buffer, loader.image);
    TFlashImage expected = Filled(0xFF);
    expected[0x10] = 0xC1;
    expected[0x11] = 0xC2;
    EXPECT_EQ(loader.image, expected);
}

TEST(LoadSRecordFile, UnopenableFileLeavesTheImageUnchanged) {
    TempDir dir;
    Loader loader;
    EXPECT_FALSE(LoadSRecordFile(loader.file, *loader.buffer, loader.image).Loaded) << "no name";
    loader.file.Assign(dir.Path("missing.s"));
    EXPECT_FALSE(LoadSRecordFile(loader.file, *loader.buffer, loader.image).Loaded);
    EXPECT_EQ(loader.image, Filled(0x5A));
}

TEST(LoadSRecordFile, EmptyFileGivesAnImageOfFF) {
    TempDir dir;
    Loader loader;
    loader.file.Assign(dir.Write("empty.s", ""));
    EXPECT_TRUE(LoadSRecordFile(loader.file, *loader.buffer, loader.image).Loaded);
    EXPECT_EQ(loader.image, Filled(0xFF));
}

} // namespace
} // namespace dedarida
