#include "image/records/intel_hex_walker.h"
#include "tests/image/image_fill.h"

#include <gtest/gtest.h>
#include <span>
#include <string>
#include <string_view>

namespace dedarida::intel_hex_test {
namespace {

using test::Filled;

// Bytes 00..0F at offset 0x8800; under either base below at index 0.
constexpr std::string_view Data16 = ":10880000000102030405060708090A0B0C0D0E0FF0\n";
constexpr std::string_view SegmentE000 = ":02000002E0001C\n";
constexpr std::string_view Linear000E = ":02000004000EEC\n";
constexpr std::string_view End = ":00000001FF\n";
// 0xC1 0xC2 at offset 0x8810.
constexpr std::string_view Next = ":02881000C1C2E3\n";

struct Walked {
    TFlashImage image = Filled(0xFF);
    IntelHexFindings found;
};

Walked Walk(std::string_view text) {
    Walked result;
    IntelHexWalker walker(result.image);
    walker.Feed(test::BytesOf(text));
    walker.Finish();
    result.found = walker.Findings();
    return result;
}

std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts)
        text += part;
    return text;
}

// The records' LF line ends replaced by `ending`.
std::string Ended(std::string_view text, std::string_view ending) {
    std::string result;
    for (const char c : text)
        result += c == '\n' ? std::string(ending) : std::string(1, c);
    return result;
}

TFlashImage WithFirst16() {
    TFlashImage image = Filled(0xFF);
    for (std::size_t i = 0; i < 16; ++i)
        image[i] = static_cast<std::uint8_t>(i);
    return image;
}

bool Clean(const IntelHexFindings& found) {
    return found.Malformed.Count == 0 && found.BadChecksums.Count == 0 &&
           found.Outside.Count == 0 && found.Overlaps.Count == 0 && found.AfterEnd.Count == 0 &&
           found.Ended;
}

TEST(IntelHexWalker, SegmentAndLinearBasesPlaceTheDataAlikeAndStartAddressesStoreNothing) {
    for (const std::string& text : {Cat({SegmentE000, Data16, ":04000003E000880091\n", End}),
                                    Cat({Linear000E, Data16, ":04000005000E880061\n", End})}) {
        SCOPED_TRACE(text);
        const Walked walked = Walk(text);
        EXPECT_EQ(walked.image, WithFirst16());
        EXPECT_TRUE(Clean(walked.found));
        EXPECT_EQ(walked.found.DataRecords, 1u);
        EXPECT_EQ(walked.found.SentBytesCovered, 16u);
    }
    const Walked noBase = Walk(Cat({":02880000010273\n", End}));
    EXPECT_EQ(noBase.image, Filled(0xFF)) << "without a base the address is 0x8800";
    EXPECT_EQ(noBase.found.Outside, (RecordFault{2, 1}));
}

TEST(IntelHexWalker, EveryLineEndStyleBlanksAndEitherCaseOfDigitsLoadAlike) {
    const std::string records = Cat({Linear000E, Data16, Next, End});
    TFlashImage expected = WithFirst16();
    expected[0x10] = 0xC1;
    expected[0x11] = 0xC2;
    for (const std::string_view ending : {"\n", "\r", "\r\n", "\n\n", "\r\n\r\n", " \t\n"}) {
        SCOPED_TRACE(::testing::PrintToString(std::string(ending)));
        const Walked walked = Walk(Ended(records, ending));
        EXPECT_EQ(walked.image, expected);
        EXPECT_TRUE(Clean(walked.found));
    }
    const Walked lower =
        Walk("\n  :02000004000eec\r\r\n\t:10880000000102030405060708090a0b0c0d0e0ff0\r\n" +
             Ended(Cat({Next, End}), "\r"));
    EXPECT_EQ(lower.image, expected);
    EXPECT_TRUE(Clean(lower.found));
}

TEST(IntelHexWalker, UnderASegmentBaseTheOffsetWrapsUnderALinearOneItCarries) {
    const std::string_view acrossTheEnd = ":04FFFE0001020304F5\n";
    const Walked segment = Walk(Cat({SegmentE000, acrossTheEnd, End}));
    EXPECT_EQ(segment.image, Filled(0xFF, {{0x77FE, 1}, {0x77FF, 2}}));
    EXPECT_EQ(segment.found.Outside, (RecordFault{2, 2})) << "0x0E0000 and 0x0E0001";
    const Walked linear = Walk(Cat({Linear000E, acrossTheEnd, End}));
    EXPECT_EQ(linear.image, Filled(0xFF, {{0x77FE, 1}, {0x77FF, 2}, {0x7800, 3}, {0x7801, 4}}));
    EXPECT_TRUE(Clean(linear.found));
    const Walked later = Walk(Cat({SegmentE000, Linear000E, acrossTheEnd, End}));
    EXPECT_EQ(later.image, linear.image) << "the later base record holds";
}

TEST(IntelHexWalker, BytesOutsideTheSentBlocksAreCountedAndOnlyInsideTheImageStored) {
    // Flash 0x0E87FE..0x0E8801: the two bytes below the image are dropped.
    const Walked below = Walk(Cat({Linear000E, ":0487FE00A1A2A3A4ED\n", End}));
    EXPECT_EQ(below.image, Filled(0xFF, {{0, 0xA3}, {1, 0xA4}}));
    EXPECT_EQ(below.found.Outside, (RecordFault{2, 2}));
    // 0x0FDFFE..0x0FE001: two bytes in the last sent block, two past it.
    const Walked edge = Walk(Cat({":02000004000FEB\n", ":04DFFE001122334475\n", End}));
    EXPECT_EQ(edge.found.SentBytesCovered, 2u);
    EXPECT_EQ(edge.found.Outside, (RecordFault{2, 2}));
    EXPECT_EQ(edge.image[0x15801], 0x44);
}

TEST(IntelHexWalker, AWrongChecksumIsStoredAndCountedAndOverlapsWithOtherBytesAreCounted) {
    const Walked wrong =
        Walk(Cat({Linear000E, ":10880000000102030405060708090A0B0C0D0E0F00\n", ":00000001FE\n"}));
    EXPECT_EQ(wrong.image, WithFirst16());
    EXPECT_EQ(wrong.found.BadChecksums, (RecordFault{2, 2}));
    EXPECT_TRUE(wrong.found.Ended) << "an end record with a wrong checksum still ends";

    const Walked same = Walk(Cat({Linear000E, Data16, ":02880A000A0B57\n", Data16, End}));
    EXPECT_TRUE(Clean(same.found));
    const Walked other = Walk(Cat({Linear000E, Data16, "\n:02880A00C1C2E9\n", End}));
    EXPECT_EQ(other.found.Overlaps, (RecordFault{2, 4}));
    EXPECT_EQ(other.image[0x0A], 0xC1) << "the later record stays";
}

TEST(IntelHexWalker, OnlyBlankLinesMayFollowTheEndOfFileRecord) {
    EXPECT_TRUE(Clean(Walk(Cat({Linear000E, Data16, End, "\r\n \t\n\n"})).found));
    const Walked after = Walk(Cat({Linear000E, Data16, End, "\n", Next, End, "junk"}));
    EXPECT_EQ(after.image, WithFirst16()) << "nothing after the end is stored";
    EXPECT_EQ(after.found.AfterEnd, (RecordFault{3, 5}));
    EXPECT_EQ(after.found.DataRecords, 1u);
    const Walked unended = Walk(Cat({Linear000E, Data16}));
    EXPECT_FALSE(unended.found.Ended);
    EXPECT_EQ(unended.image, WithFirst16());
}

TEST(IntelHexWalker, ChunkSplitAnywhereGivesTheSameResult) {
    const std::string text = Ended(Cat({SegmentE000, Data16}), "\r\n") + "\r:0288100xC1C2E3\n\r" +
                             Ended(Cat({Linear000E, Next, End, Next}), "\r");
    const Walked whole = Walk(text);
    EXPECT_EQ(whole.found.Malformed, (RecordFault{1, 4}));
    EXPECT_EQ(whole.found.AfterEnd, (RecordFault{1, 9}));
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        TFlashImage image = Filled(0xFF);
        IntelHexWalker walker(image);
        walker.Feed(test::BytesOf(std::string_view(text).substr(0, cut)));
        walker.Feed(test::BytesOf(std::string_view(text).substr(cut)));
        walker.Finish();
        ASSERT_EQ(image, whole.image) << "cut at " << cut;
        ASSERT_EQ(walker.Findings(), whole.found) << "cut at " << cut;
    }
}

TEST(IntelHexWalker, EachMalformedLineIsNamedAndNotStored) {
    const std::string longest = ":FF880000" + std::string(510, '0') + "79";
    ASSERT_EQ(longest.size(), IntelHexWalker::MaxLineLength);
    const Walked walkedLongest = Walk(Cat({Linear000E, longest, "\n", End}));
    EXPECT_TRUE(Clean(walkedLongest.found));
    EXPECT_EQ(walkedLongest.found.SentBytesCovered, 255u);

    const struct {
        const char* name;
        std::string line;
        IntelHexFlaw flaw;
    } rows[] = {
        {"garbage", "hello", IntelHexFlaw::NotARecord},
        {"an S-record", "S2060E8810C1C2D0", IntelHexFlaw::NotARecord},
        {"one character too long", longest + "0", IntelHexFlaw::Overlong},
        {"blank inside", ":02881000 C1C2E3", IntelHexFlaw::BlankInside},
        {"non-hex data", ":02881000C1CGE3", IntelHexFlaw::NotHex},
        {"colon alone", ":", IntelHexFlaw::TooShort},
        {"no checksum", ":00000001", IntelHexFlaw::TooShort},
        {"odd digits", ":02881000C1C2E", IntelHexFlaw::OddDigits},
        {"one byte short", ":03881000C1C2E3", IntelHexFlaw::CountMismatch},
        {"one byte too many", ":02881000C1C2C3E3", IntelHexFlaw::CountMismatch},
        {"type 06", ":020000060000F8", IntelHexFlaw::UnknownType},
        {"type FF", ":00000FFF01", IntelHexFlaw::UnknownType},
        {"segment base of three bytes", ":03000002E000001B", IntelHexFlaw::CountForType},
        {"end record with a byte", ":0100000100FE", IntelHexFlaw::CountForType},
        {"start address of two bytes", ":020000050000F9", IntelHexFlaw::CountForType},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Walked walked = Walk(Cat({Linear000E, Data16, row.line, "\n", Next, End}));
        EXPECT_EQ(walked.found.Malformed, (RecordFault{1, 3}));
        EXPECT_EQ(walked.found.FirstFlaw, row.flaw);
        EXPECT_EQ(walked.found.DataRecords, 2u) << "the lines around it still load";
        EXPECT_EQ(walked.found.SentBytesCovered, 18u);
        EXPECT_TRUE(walked.found.Ended);
    }
}

} // namespace
} // namespace dedarida::intel_hex_test
