#include "image/firmware_choice.h"
#include "tests/image/memory_reader.h"
#include "tests/image/temp_dir.h"

#include <gtest/gtest.h>
#include <string>

namespace dedarida {
namespace {

using test::MemoryReader;
using test::TempDir;

// The refusal's text, or "accepted".
std::string Verdict(MemoryReader file, FirmwareImage (*load)(BlockReader&) = LoadSRecordFirmware) {
    try {
        load(file);
        return "accepted";
    } catch (const EFirmwareRefused& refusal) {
        return refusal.what();
    }
}

TEST(FirmwareChoice, RecordFilesAreKnownByTheirExtensionInAnyCase) {
    for (const char* name :
         {"a.s", "a.mot", "a.s19", "a.s28", "a.s37", "a.srec", "A.S19", "b.SREC"}) {
        EXPECT_TRUE(IsSRecordFileName(name)) << name;
        EXPECT_FALSE(IsIntelHexFileName(name)) << name;
    }
    for (const char* name : {"a.hex", "a.ihex", "A.HEX", "b.IHex"}) {
        EXPECT_TRUE(IsIntelHexFileName(name)) << name;
        EXPECT_FALSE(IsSRecordFileName(name)) << name;
    }
    for (const char* name : {"a.bin", "a.s2", "mot", "a.srec.bin", "s19", "a.hex.bin", "hex"}) {
        EXPECT_FALSE(IsSRecordFileName(name)) << name;
        EXPECT_FALSE(IsIntelHexFileName(name)) << name;
    }
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

TEST(FirmwareChoice, ARecordFileIsFilledWith0xFFWhereItSetsNothing) {
    TempDir dir;
    for (const auto& [name, text] :
         {std::pair{"fw.S19", "S2060E8810C1C2D0\r\nS2050FDFFF5BB2\r\n"},
          {"fw.Hex", ":02000004000EEC\r\n:02881000C1C2E3\r\n:02000004000FEB\r\n"
                     ":01DFFF005BC6\r\n:00000001FF\r\n"}}) {
        SCOPED_TRACE(name);
        const FirmwareImage image = LoadFirmwareImage(dir.Write(name, text));
        EXPECT_EQ(image.BytesCovered, 3u);
        EXPECT_EQ(image.Bytes[0x0F], 0xFF);
        EXPECT_EQ(image.Bytes[0x10], 0xC1);
        EXPECT_EQ(image.Bytes[0x11], 0xC2);
        EXPECT_EQ(image.Bytes[0x12], 0xFF);
        EXPECT_EQ(image.Bytes[TxSize - 1], 0x5B);
    }
}

TEST(FirmwareChoice, AnOtherExtensionIsARawImageAndAUnreadableNameIsRefused) {
    TempDir dir;
    try {
        LoadFirmwareImage(dir.Write("fw.img", ":02881000C1C2E3\r\n"));
        FAIL() << "accepted";
    } catch (const EFirmwareRefused& refusal) {
        EXPECT_NE(std::string(refusal.what()).find("17 bytes; a raw image must be exactly 88064"),
                  std::string::npos)
            << refusal.what();
    }
    EXPECT_THROW(LoadFirmwareImage(dir.Path("")), EFirmwareRefused) << "a directory";
    EXPECT_THROW(LoadFirmwareImage(dir.Path("none.bin")), EFirmwareRefused);
}

TEST(FirmwareChoice, EachFaultOfAnSRecordFileIsRefusedWithItsFirstLine) {
    const std::string data = "S2060E8810C1C2D0\n"; // line 1 in each row
    const struct {
        const char* name;
        std::string text;
        std::string refusal;
    } rows[] = {
        {"lower-case hex", data + "S2060E8820c1C2C0\n",
         "line 2: lower-case hex digits (fields must be upper-case hex)"},
        {"count mismatch", data + "\nS2070E8820C1C2C0\n",
         "line 3: the record's length does not match its count field"},
        {"overlap with other data", data + "S2060E8811C1C2CF\n",
         "line 2: 1 data byte overlaps earlier data with a different value"},
        {"S1 data", "S0030000FC\r\n" + data + "S1050010AABB85\r\n",
         "line 3: 2 data bytes lie outside 0x0E8800-0x0FDFFF"},
        {"cut file by S5 count", data + "S5030002FA\n",
         "line 2: the record count says 2, 1 data record comes before it"},
        {"garbage line", data + "garbage\n" + data,
         "line 2: not an S-record (a record starts with S and its type digit)"},
        {"S4", data + "S4080E880055667788A7\n",
         "line 2: unknown record type (S0-S3 and S5-S9 are known)"},
        {"wrong checksums", data + "S2060E8820C1C2C1\rS2060E8830C1C2C1\r",
         "line 2: 2 records have a wrong checksum"},
        {"several malformed lines", "S2\n" + data + "S2 \n",
         "line 1: too short for a record; 2 lines are malformed"},
        {"earliest fault named first", data + "S2060E8820C1C2C1\nS2\n",
         "line 2: 1 record has a wrong checksum"},
        {"empty file", "", "holds no data"},
        {"blank lines only", "\r\n \n\t\r", "holds no data"},
        {"no data records", "S0030000FC\nS5030000FC\nS9030000FC\n", "holds no data"},
        {"a data record without data", "S2040E880065\n", "holds no data"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Verdict(MemoryReader("fw.s19", row.text)), "fw.s19: " + row.refusal) << row.name;
    EXPECT_EQ(Verdict(MemoryReader("fw.s19", data + "S2060E8810C1C2D0\nS5030002FA")), "accepted")
        << "the same bytes twice";
}

TEST(FirmwareChoice, AnSRecordFileWhoseReadFailsAtAnyByteIsRefused) {
    const std::string text = "S2060E8810C1C2D0\r\nS5030001FB\r\n";
    for (std::size_t cut = 0; cut < text.size(); ++cut)
        EXPECT_EQ(Verdict(MemoryReader("fw.s19", text, cut)),
                  "fw.s19: cannot be read: Input/output error")
            << "cut at " << cut;
    EXPECT_EQ(Verdict(MemoryReader("fw.s19", text, text.size())), "accepted");
}

TEST(FirmwareChoice, EachFaultOfAnIntelHexFileIsRefusedWithItsFirstLine) {
    const std::string base = ":02000004000EEC\n"; // line 1 in each row
    const std::string data = ":02881000C1C2E3\n"; // line 2 in each row
    const std::string end = ":00000001FF\n";
    const struct {
        const char* name;
        std::string text;
        std::string refusal;
    } rows[] = {
        {"no colon", base + data + "02882000C1C2D3\n" + end,
         "line 3: not an Intel HEX record (a record starts with ':')"},
        {"odd digits", base + data + ":02882000C1C2D\n" + end,
         "line 3: an odd number of hex digits"},
        {"byte count", base + data + "\n:03882000C1C2D3\n" + end,
         "line 4: the record's length does not match its byte count"},
        {"type 06", base + data + ":020000060000F8\n" + end,
         "line 3: unknown record type (00-05 are known)"},
        {"count for its type", base + ":03000002E000001B\n" + end,
         "line 2: the byte count does not fit the record type (01: 0, 02 and 04: 2, 03 and 05: "
         "4)"},
        {"wrong checksums", base + data + ":02882000C1C2D4\r:02883000C1C2D4\r" + end,
         "line 3: 2 records have a wrong checksum"},
        {"below the image", base + ":0287FE00AABB14\n" + end,
         "line 2: 2 data bytes lie outside 0x0E8800-0x0FDFFF"},
        {"no base: a 16-bit address", ":02881000C1C2E3\n" + end,
         "line 1: 2 data bytes lie outside 0x0E8800-0x0FDFFF"},
        {"overlap with other data", base + data + ":02881100C1C2E2\n" + end,
         "line 3: 1 data byte overlaps earlier data with a different value"},
        {"a record after the end", base + data + end + data,
         "line 4: 1 line follows the end-of-file record"},
        {"a second end and garbage", base + data + end + "\n" + end + "x\n",
         "line 5: 2 lines follow the end-of-file record"},
        {"several malformed lines", base + ":0\n" + data + ":\n" + end,
         "line 2: too short for a record; 2 lines are malformed"},
        {"no end-of-file record", base + data,
         "has no end-of-file record (:00000001FF): it may have been cut short"},
        {"empty file", "", "holds no data"},
        {"bases and end only", base + ":02000002E0001C\n" + end, "holds no data"},
        {"a data record without data", base + ":0088000078\n" + end, "holds no data"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Verdict(MemoryReader("fw.hex", row.text), LoadIntelHexFirmware),
                  "fw.hex: " + row.refusal)
            << row.name;
    EXPECT_EQ(Verdict(MemoryReader("fw.hex", base + data + data + end + "\r\n  \r\n"),
                      LoadIntelHexFirmware),
              "accepted")
        << "the same bytes twice, blank lines after the end";
}

TEST(FirmwareChoice, AnIntelHexFileWhoseReadFailsOrEndsEarlyAtAnyByteIsRefused) {
    const std::string text = ":02000004000EEC\r\n:02881000C1C2E3\r\n:00000001FF\r\n";
    for (const auto how : {MemoryReader::Cut::Fails, MemoryReader::Cut::Shrinks}) {
        for (std::size_t cut = 0; cut < text.size(); ++cut)
            EXPECT_EQ(Verdict(MemoryReader("fw.hex", text, cut, how), LoadIntelHexFirmware),
                      "fw.hex: cannot be read: Input/output error")
                << "cut at " << cut;
        EXPECT_EQ(Verdict(MemoryReader("fw.hex", text, text.size(), how), LoadIntelHexFirmware),
                  "accepted");
    }
}

} // namespace
} // namespace dedarida
