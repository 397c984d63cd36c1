#include "image/records/srecord_walker.h"
#include "tests/image/image_fill.h"

#include <gtest/gtest.h>
#include <span>
#include <string>
#include <string_view>

namespace dedarida::srecord_test {
namespace {

using test::Filled;

constexpr std::string_view Header = "S008000068656C6C6FE3\r\n";
constexpr std::string_view Data16 = "S2140E8800000102030405060708090A0B0C0D0E0FDD\r\n";
constexpr std::string_view Trailer = "S8040E880065\r\n";
// 0xC1 0xC2 at index 0x10.
constexpr std::string_view Next = "S2060E8810C1C2D0\r\n";

struct Walked {
    TFlashImage image = Filled(0xFF);
    SRecordFindings found;
};

Walked Walk(std::string_view text) {
    Walked result;
    SRecordWalker walker(result.image);
    walker.Feed(test::BytesOf(text));
    walker.Finish();
    result.found = walker.Findings();
    return result;
}

TFlashImage WithFirst16() {
    return Filled(0xFF, {{0, 0x00},
                         {1, 0x01},
                         {2, 0x02},
                         {3, 0x03},
                         {4, 0x04},
                         {5, 0x05},
                         {6, 0x06},
                         {7, 0x07},
                         {8, 0x08},
                         {9, 0x09},
                         {10, 0x0A},
                         {11, 0x0B},
                         {12, 0x0C},
                         {13, 0x0D},
                         {14, 0x0E},
                         {15, 0x0F}});
}

std::string ThreeRecords() {
    return std::string(Header) + std::string(Data16) + std::string(Trailer);
}

// The records' CR LF line ends replaced by `ending`.
std::string Ended(std::string_view text, std::string_view ending) {
    std::string result;
    for (std::size_t at; (at = text.find("\r\n")) != std::string_view::npos;
         text.remove_prefix(at + 2))
        result.append(text.substr(0, at)).append(ending);
    return result.append(text);
}

bool Clean(const SRecordFindings& found) {
    return found.Malformed.Count == 0 && found.BadChecksums.Count == 0 &&
           found.Outside.Count == 0 && found.Overlaps.Count == 0 &&
           found.CountMismatches.Count == 0;
}

TEST(SRecordWalker, S0S2S8FileStoresSixteenBytesAtIndexZero) {
    const Walked walked = Walk(ThreeRecords());
    EXPECT_EQ(walked.image, WithFirst16());
    EXPECT_TRUE(Clean(walked.found));
    EXPECT_EQ(walked.found.DataRecords, 1u);
    EXPECT_EQ(walked.found.SentBytesCovered, 16u);
}

// Pairs walked from CR LF to CR LF lost every other record of an LF file.
TEST(SRecordWalker, LfCrAndMixedLineEndsLoseNoRecord) {
    const TFlashImage expected = Filled(0xFF, {{0x10, 0xC1}, {0x11, 0xC2}});
    const std::string records = ThreeRecords() + std::string(Next);
    for (const std::string_view ending : {"\n", "\r", "\r\n", "\n\n", "\r\n\r\n", " \t\n"}) {
        SCOPED_TRACE(::testing::PrintToString(std::string(ending)));
        const Walked walked = Walk(Ended(records, ending));
        TFlashImage both = WithFirst16();
        both[0x10] = 0xC1;
        both[0x11] = 0xC2;
        EXPECT_EQ(walked.image, both);
        EXPECT_TRUE(Clean(walked.found));
    }
    const Walked mixed = Walk("\n  S2060E8810C1C2D0\r\r\n\t" + Ended(ThreeRecords(), "\n"));
    EXPECT_TRUE(Clean(mixed.found));
    EXPECT_EQ(mixed.found.DataRecords, 2u);
    EXPECT_EQ(Walk(Ended(std::string(Next), "\n")).image, expected) << "LF, one record";
}

TEST(SRecordWalker, LineNumbersCountCrLfOnceAndLfCrTwice) {
    const std::string bad = "S2060E8810c1C2D0";
    EXPECT_EQ(Walk("\r\n\r\n" + bad).found.Malformed.FirstLine, 3u);
    EXPECT_EQ(Walk("\n\r" + bad).found.Malformed.FirstLine, 3u);
    EXPECT_EQ(Walk("\r\r" + bad).found.Malformed.FirstLine, 3u);
    EXPECT_EQ(Walk(Ended(ThreeRecords(), "\n") + bad + "\n" + bad).found.Malformed,
              (RecordFault{2, 4}));
}

TEST(SRecordWalker, RecordsThatStoreNothing) {
    const TFlashImage untouched = Filled(0xFF);
    const Walked empty = Walk("S2040E880065\r\n");
    EXPECT_EQ(empty.image, untouched) << "count 4: address and checksum only";
    EXPECT_TRUE(Clean(empty.found));
    EXPECT_EQ(empty.found.DataRecords, 1u);
    const Walked ends = Walk("S0030000FC\nS9030000FC\nS5030000FC\nS70500000000FA\n");
    EXPECT_EQ(ends.image, untouched);
    EXPECT_TRUE(Clean(ends.found));
    EXPECT_EQ(ends.found.DataRecords, 0u);
}

TEST(SRecordWalker, WrongChecksumIsStoredAndCounted) {
    const Walked wrong = Walk("S2140E8800000102030405060708090A0B0C0D0E0F00\r\n");
    EXPECT_EQ(wrong.image, WithFirst16());
    EXPECT_EQ(wrong.found.BadChecksums, (RecordFault{1, 1}));
    const Walked header = Walk(std::string(Data16) + "S008000068656C6C6FE4\r\n");
    EXPECT_EQ(header.found.BadChecksums, (RecordFault{1, 2})) << "a record without data too";
}

TEST(SRecordWalker, BytesOutsideTheSentBlocksAreCountedAndOnlyInsideTheImageStored) {
    // 0x0FDFFE..0x0FE001: two bytes in the last sent block, two past it.
    const Walked edge = Walk("S309000FDFFE1122334460\r\n");
    EXPECT_EQ(edge.found.SentBytesCovered, 2u);
    EXPECT_EQ(edge.found.Outside, (RecordFault{2, 1}));
    EXPECT_EQ(edge.image[0x15801], 0x44);

    // Flash 0xE87FE..0xE8801: the two bytes below the image are dropped.
    const Walked below = Walk("S2080E87FEA1A2A3A4DA\r\n");
    EXPECT_EQ(below.image, Filled(0xFF, {{0, 0xA3}, {1, 0xA4}}));
    EXPECT_EQ(below.found.Outside, (RecordFault{2, 1}));

    // Flash 0xFE7FF..0xFE801: the last index is 0x16000, then the image ends.
    const Walked above = Walk("S2070FE7FFB1B2B3ED\r\n");
    EXPECT_EQ(above.image, Filled(0xFF, {{0x15FFF, 0xB1}, {0x16000, 0xB2}}));
    EXPECT_EQ(above.found.Outside.Count, 3u);

    const Walked far = Walk("S309FFFFFFFF1122334450\nS2060000000102F6\n");
    EXPECT_EQ(far.image, Filled(0xFF)) << "no wrap-around at the top of the address space";
    EXPECT_EQ(far.found.Outside, (RecordFault{6, 1}));
}

TEST(SRecordWalker, S1AndS3HaveTheirOwnAddressWidthsAndS4IsUnknown) {
    EXPECT_EQ(Walk("S309000E880011223344B6\n").image,
              Filled(0xFF, {{0, 0x11}, {1, 0x22}, {2, 0x33}, {3, 0x44}}));
    const Walked s1 = Walk("S1078800AABBCCDD62\n");
    EXPECT_EQ(s1.image, Filled(0xFF));
    EXPECT_EQ(s1.found.Outside, (RecordFault{4, 1})) << "a 16-bit address lies below the image";
    const Walked s4 = Walk("S4080E880055667788A7\n");
    EXPECT_EQ(s4.image, Filled(0xFF));
    EXPECT_EQ(s4.found.Malformed, (RecordFault{1, 1}));
    EXPECT_EQ(s4.found.FirstFlaw, SRecordFlaw::UnknownType);
}

TEST(SRecordWalker, OverlapWithOtherBytesIsCountedWithTheSameIsNot) {
    const Walked same = Walk(std::string(Data16) + "S2060E880A0A0B44\n" + std::string(Data16));
    EXPECT_TRUE(Clean(same.found));
    EXPECT_EQ(same.found.SentBytesCovered, 16u);
    const Walked other = Walk(std::string(Data16) + "\nS2060E880AC1C2D6\n");
    EXPECT_EQ(other.found.Overlaps, (RecordFault{2, 3}));
    EXPECT_EQ(other.image[0x0A], 0xC1) << "the later record stays, as the window loads it";
}

TEST(SRecordWalker, RecordCountMustMatchTheDataRecordsBeforeIt) {
    const std::string two = std::string(Data16) + std::string(Next);
    EXPECT_TRUE(Clean(Walk(two + "S5030002FA\n").found));
    EXPECT_TRUE(Clean(Walk(two + "S604000002F9\n").found));
    const Walked cut = Walk(std::string(Data16) + "S5030002FA\n" + std::string(Next));
    EXPECT_EQ(cut.found.CountMismatches, (RecordFault{1, 2}));
    EXPECT_EQ(cut.found.StatedCount, 2u);
    EXPECT_EQ(cut.found.CountedRecords, 1u);
    EXPECT_EQ(Walk(two + "S604000001FA\n").found.CountMismatches, (RecordFault{1, 3}));
}

TEST(SRecordWalker, ChunkSplitAnywhereGivesTheSameResult) {
    const std::string text =
        Ended(ThreeRecords(), "\r\n") + "\rS2060E8810c1C2D0\n\r" + Ended(std::string(Next), "\r");
    const Walked whole = Walk(text);
    EXPECT_EQ(whole.found.Malformed, (RecordFault{1, 5}));
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        TFlashImage image = Filled(0xFF);
        SRecordWalker walker(image);
        walker.Feed(test::BytesOf(std::string_view(text).substr(0, cut)));
        walker.Feed(test::BytesOf(std::string_view(text).substr(cut)));
        walker.Finish();
        ASSERT_EQ(image, whole.image) << "cut at " << cut;
        ASSERT_EQ(walker.Findings(), whole.found) << "cut at " << cut;
    }
    TFlashImage image = Filled(0xFF);
    SRecordWalker walker(image);
    for (char c : text)
        walker.Feed(test::BytesOf(std::string_view(&c, 1)));
    walker.Finish();
    EXPECT_EQ(image, whole.image) << "one byte at a time";
    EXPECT_EQ(walker.Findings(), whole.found) << "one byte at a time";
}

TEST(SRecordWalker, ALastLineWithoutLineEndIsARecordAndFinishTakesItOnce) {
    TFlashImage image = Filled(0xFF);
    SRecordWalker walker(image);
    walker.Feed(test::BytesOf(Data16.substr(0, Data16.size() - 2)));
    walker.Finish();
    walker.Finish();
    EXPECT_EQ(image, WithFirst16());
    EXPECT_EQ(walker.Findings().DataRecords, 1u);
}

TEST(SRecordWalker, EachMalformedLineIsNamedAndNotStored) {
    const std::string longest = "S2FF0E8800" + std::string(502, '0') + "6A";
    ASSERT_EQ(longest.size(), SRecordWalker::MaxLineLength);
    EXPECT_TRUE(Clean(Walk(longest).found));
    EXPECT_EQ(Walk(longest).found.SentBytesCovered, 251u);

    const struct {
        const char* name;
        std::string line;
        SRecordFlaw flaw;
    } rows[] = {
        {"garbage", "hello", SRecordFlaw::NotARecord},
        {"lower-case s", "s2060E8810C1C2D0", SRecordFlaw::NotARecord},
        {"S alone", "S", SRecordFlaw::TooShort},
        {"no count", "S2", SRecordFlaw::TooShort},
        {"S4", "S4080E880055667788A7", SRecordFlaw::UnknownType},
        {"type letter", "SX060E8810C1C2D0", SRecordFlaw::UnknownType},
        {"one character too long", longest + "0", SRecordFlaw::Overlong},
        {"blank inside", "S2060E8810 C1C2D0", SRecordFlaw::BlankInside},
        {"lower-case data", "S2060E8810c1C2D0", SRecordFlaw::LowerCaseHex},
        {"lower-case checksum", "S2060E8810C1C2d0", SRecordFlaw::LowerCaseHex},
        {"non-hex address", "S2060E88G0C1C2D0", SRecordFlaw::NotHex},
        {"cut", std::string(Data16.substr(0, 20)), SRecordFlaw::CountMismatch},
        {"half a pair", "S2060E8810C1C2D", SRecordFlaw::CountMismatch},
        {"one byte too many", "S2060E8810C1C2C3D0", SRecordFlaw::CountMismatch},
        {"count 0", "S200", SRecordFlaw::CountTooSmall},
        {"S3 count 4", "S304000E8800", SRecordFlaw::CountTooSmall},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Walked walked = Walk(std::string(Data16) + row.line + "\n" + std::string(Next));
        EXPECT_EQ(walked.found.Malformed, (RecordFault{1, 2}));
        EXPECT_EQ(walked.found.FirstFlaw, row.flaw);
        EXPECT_EQ(walked.found.DataRecords, 2u) << "the lines around it still load";
        EXPECT_EQ(walked.found.SentBytesCovered, 18u);
    }
}

} // namespace
} // namespace dedarida::srecord_test
