#include "image/in_out_error.h"
#include "image/records/srecord_walker.h"
#include "image/srecord_loader.h"
#include "image/untyped_file.h"
#include "tests/image/image_fill.h"
#include "tests/image/memory_reader.h"
#include "tests/image/temp_dir.h"

#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace dedarida {
namespace {

using test::Filled;
using test::MemoryReader;
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

TEST(LoadSRecordFile, FileOfSeveralChunksLoadsWhatItHolds) {
    TempDir dir;
    const std::string text = PatternFile();
    ASSERT_GT(text.size(), 2 * ReadBufferSize);
    UntypedFile file;
    file.Assign(dir.Write("big.mot", text));
    auto buffer = std::make_unique<TReadBuffer>();
    TFlashImage image = Filled(0x5A);

    const SRecordLoad result = LoadSRecordFile(file, *buffer, image);

    EXPECT_TRUE(result.Loaded);
    EXPECT_EQ(result.Found.Outside.Count, 0u);
    EXPECT_EQ(result.Found.DataRecords, Lines);
    TFlashImage expected = Filled(0xFF);
    for (std::size_t i = 0; i < Lines * BytesPerLine; ++i)
        expected[i] = Pattern(i);
    EXPECT_EQ(image, expected);

    TFlashImage inOneGo = Filled(0xFF);
    SRecordWalker(inOneGo).Feed(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    EXPECT_EQ(inOneGo, expected);
}

TEST(LoadSRecordFile, ALastRecordCutOffByTheEndIsMalformedAndNotStored) {
    auto buffer = std::make_unique<TReadBuffer>();
    TFlashImage image = Filled(0x5A);
    MemoryReader file("cut.mot", "S2060E8810C1C2D0\nS2140E880000010203");
    const SRecordLoad load = LoadSRecordFile(file, *buffer, image);
    EXPECT_TRUE(load.Loaded);
    EXPECT_EQ(load.Found.Malformed, (RecordFault{1, 2}));
    EXPECT_EQ(image, Filled(0xFF, {{0x10, 0xC1}, {0x11, 0xC2}}));
}

TEST(LoadSRecordFile, AReadThatFailsOrEndsEarlyAtAnyByteRaises) {
    const std::string text = "S0030000FC\r\nS2060E8810C1C2D0\nS5030001FB\rS9030000FC";
    auto buffer = std::make_unique<TReadBuffer>();
    TFlashImage image;
    for (const auto how : {MemoryReader::Cut::Fails, MemoryReader::Cut::Shrinks}) {
        for (std::size_t cut = 0; cut < text.size(); ++cut) {
            MemoryReader file("fw.s19", text, cut, how);
            EXPECT_THROW(LoadSRecordFile(file, *buffer, image), EInOutError) << "cut at " << cut;
        }
        MemoryReader whole("fw.s19", text, text.size(), how);
        EXPECT_EQ(LoadSRecordFile(whole, *buffer, image).Found.SentBytesCovered, 2u);
    }
}

// Neither may touch the image: a directory would fill it with 0xFF and then
// fail on read, a FIFO without a writer would block the caller at open.
TEST(LoadSRecordFile, ADirectoryOrAFifoFailsAtOpenAndLeavesTheImage) {
    TempDir dir;
    std::vector<std::string> names = {dir.Path("")};
#ifndef _WIN32
    names.push_back(dir.Path("fifo.s"));
    ASSERT_EQ(::mkfifo(names.back().c_str(), 0600), 0);
#endif
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        UntypedFile file;
        file.Assign(name);
        auto buffer = std::make_unique<TReadBuffer>();
        TFlashImage image = Filled(0x5A);
        EXPECT_FALSE(LoadSRecordFile(file, *buffer, image).Loaded);
        EXPECT_EQ(image, Filled(0x5A));
        EXPECT_FALSE(file.IsOpen());
    }
}

} // namespace
} // namespace dedarida
