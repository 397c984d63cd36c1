#include "image/firmware_choice.h"
#include "tests/image/temp_dir.h"

#include <gtest/gtest.h>
#include <string>

namespace dedarida {
namespace {

using test::TempDir;

TEST(FirmwareChoice, SRecordFilesAreKnownByTheirExtensionInAnyCase) {
    for (const char* name :
         {"a.s", "a.mot", "a.s19", "a.s28", "a.s37", "a.srec", "A.S19", "b.SREC"})
        EXPECT_TRUE(IsSRecordFileName(name)) << name;
    for (const char* name : {"a.bin", "a.hex", "a.s2", "mot", "a.srec.bin", "s19"})
        EXPECT_FALSE(IsSRecordFileName(name)) << name;
}

TEST(FirmwareChoice, ARawImageIsTakenWhole) {
    TempDir dir;
    std::string raw(TxSize, '\0');
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<char>(i % 251);
    const FirmwareImage image = LoadFirmwareImage(dir.Write("fw.bin", raw));
    EXPECT_EQ(image.BytesCovered, static_cast<std::size_t>(TxSize));
    for (std::size_t i = 0; i < raw.size(); i += 997)
        EXPECT_EQ(image.Bytes[i], i % 251) << i;
    EXPECT_EQ(image.Bytes[TxSize - 1], (TxSize - 1) % 251);
}

TEST(FirmwareChoice, AnSRecordFileIsFilledWith0xFFWhereItSetsNothing) {
    TempDir dir;
    const FirmwareImage image =
        LoadFirmwareImage(dir.Write("fw.S19", "S2060E8810C1C2D0\r\nS2050FDFFF5BB2\r\n"));
    EXPECT_EQ(image.BytesCovered, 3u);
    EXPECT_EQ(image.Bytes[0x0F], 0xFF);
    EXPECT_EQ(image.Bytes[0x10], 0xC1);
    EXPECT_EQ(image.Bytes[0x11], 0xC2);
    EXPECT_EQ(image.Bytes[0x12], 0xFF);
    EXPECT_EQ(image.Bytes[TxSize - 1], 0x5B);
}

TEST(FirmwareChoice, AnOtherExtensionIsARawImageAndAUnreadableNameIsRefused) {
    TempDir dir;
    try {
        LoadFirmwareImage(dir.Write("fw.hex", "S2060E8810C1C2D0\r\n"));
        FAIL() << "accepted";
    } catch (const EFirmwareRefused& refusal) {
        EXPECT_NE(std::string(refusal.what()).find("18 bytes; a raw image must be exactly 88064"),
                  std::string::npos)
            << refusal.what();
    }
    EXPECT_THROW(LoadFirmwareImage(dir.Path("")), EFirmwareRefused) << "a directory";
    EXPECT_THROW(LoadFirmwareImage(dir.Path("none.bin")), EFirmwareRefused);
}

} // namespace
} // namespace dedarida
