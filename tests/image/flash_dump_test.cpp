#include "image/flash_dump.h"
#include "tests/image/image_fill.h"
#include "tests/image/temp_dir.h"

#include <gtest/gtest.h>
#include <string>

namespace dedarida {
namespace {

using test::TempDir;

std::string Dump(const TFlashImage& image) {
    TempDir dir;
    UntypedFile file;
    file.Assign(dir.Path("dump.txt"));
    file.Create();
    WriteFlashDump(file, image);
    file.Close();
    return TempDir::Read(dir.Path("dump.txt"));
}

TEST(WriteFlashDump, StartsWithTheFirstBytes) {
    const std::string dump =
        Dump(test::Filled(0x00, {{0, 0xFF}, {1, 0x00}, {2, 0x10}, {9, 0xAB}, {18, 0xCD}}));
    EXPECT_EQ(dump.substr(0, 12), "$FF,$00,$10,");
    EXPECT_EQ(dump.substr(0, 40 + 2 + 36 + 2), "$FF,$00,$10,$00,$00,$00,$00,$00,$00,$AB,\r\n"
                                               "$00,$00,$00,$00,$00,$00,$00,$00,$CD,\r\n");
}

TEST(WriteFlashDump, LayoutOfTheWholeDump) {
    TFlashImage image = test::Filled(0x00);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i);
    const std::string dump = Dump(image);

    ASSERT_EQ(dump.size(), 371'824u);
    EXPECT_EQ(dump.size(), FlashDumpSize);
    // 88,057 .. 88,063 are 0xF9 .. 0xFF.
    EXPECT_EQ(dump.substr(dump.size() - 30), "\r\n$F9,$FA,$FB,$FC,$FD,$FE,$FF,");

    std::size_t start = 0;
    std::size_t lines = 0;
    for (std::size_t end; (end = dump.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::size_t items = lines == 0 ? 10 : 9;
        ASSERT_EQ(end - start, items * 4) << "line " << lines;
        ++lines;
    }
    EXPECT_EQ(lines, 9784u);
    EXPECT_EQ(dump.size() - start, 7u * 4);
}

} // namespace
} // namespace dedarida
