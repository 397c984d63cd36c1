#include "image/srecord_walker.h"
#include "tests/image/image_fill.h"

#include <gtest/gtest.h>
#include <span>
#include <string>
#include <string_view>

namespace dedarida {
namespace {

using test::Filled;

constexpr std::string_view Header = "S008000068656C6C6FE3\r\n";
constexpr std::string_view Data16 = "S2140E8800000102030405060708090A0B0C0D0E0FDD\r\n";
constexpr std::string_view Trailer = "S8040E880065\r\n";

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct Walked {
    TFlashImage image = Filled(0xFF);
    std::size_t outOfRange = 0;
    std::size_t rejected = 0;
};

Walked Walk(std::string_view text) {
    Walked result;
    SRecordWalker walker(result.image);
    walker.Feed(Bytes(text));
    walker.Finish();
    result.outOfRange = walker.OutOfRangeBytes();
    result.rejected = walker.RejectedRecords();
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

TEST(SRecordWalker, S0S2S8FileStoresSixteenBytesAtIndexZero) {
    EXPECT_EQ(Walk(ThreeRecords()).image, WithFirst16());
}

TEST(SRecordWalker, RecordsThatStoreNothing) {
    const TFlashImage untouched = Filled(0xFF);
    EXPECT_EQ(Walk("S2040E880065\r\n").image, untouched) << "count 4: address and checksum only";
    EXPECT_EQ(Walk("S1078800AABBCCDD62\r\n").image, untouched) << "S1";
    EXPECT_EQ(Walk("S9030000FC\r\nS5030001FB\r\nS70500000000FA\r\n").image, untouched);
    EXPECT_EQ(Walk("S200\r\n").image, untouched) << "count 0";
}

TEST(SRecordWalker, WrongChecksumIsIgnored) {
    EXPECT_EQ(Walk("S2140E8800000102030405060708090A0B0C0D0E0F00\r\n").image, WithFirst16());
}

TEST(SRecordWalker, RecordIsFoundOnlyAtEvenOffset) {
    EXPECT_EQ(Walk("X" + std::string(Data16) + "X").image, Filled(0xFF));
    EXPECT_EQ(Walk("XY" + std::string(Data16)).image, WithFirst16());
}

TEST(SRecordWalker, PairAfterRecordIsSteppedOverWhateverItHolds) {
    // Without a line end the next record's "S2" is taken for it.
    const std::string joined =
        "S2060E8810C1C2D0" + std::string(Data16.substr(0, Data16.size() - 2)) + "\r\n";
    EXPECT_EQ(Walk(joined).image, Filled(0xFF, {{0x10, 0xC1}, {0x11, 0xC2}}));
}

TEST(SRecordWalker, ChunkSplitAnywhereGivesTheSameImage) {
    const std::string text = ThreeRecords() + "S2060E8810C1C2D0\r\n";
    const TFlashImage whole = Walk(text).image;
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        TFlashImage image = Filled(0xFF);
        SRecordWalker walker(image);
        walker.Feed(Bytes(std::string_view(text).substr(0, cut)));
        walker.Feed(Bytes(std::string_view(text).substr(cut)));
        ASSERT_EQ(image, whole) << "cut at " << cut;
    }
    TFlashImage image = Filled(0xFF);
    SRecordWalker walker(image);
    for (char c : text)
        walker.Feed(Bytes(std::string_view(&c, 1)));
    EXPECT_EQ(image, whole) << "one byte at a time";
}

TEST(SRecordWalker, AddressesOutsideTheImageAreDropped) {
    // Flash 0xE87FE..0xE8801: the two bytes below the image are dropped.
    Walked below = Walk("S2080E87FEA1A2A3A4DA\r\n");
    EXPECT_EQ(below.image, Filled(0xFF, {{0, 0xA3}, {1, 0xA4}}));
    EXPECT_EQ(below.outOfRange, 2u);

    // Flash 0xFE7FF..0xFE801: the last index is 0x16000, then the image ends.
    Walked above = Walk("S2070FE7FFB1B2B3ED\r\n");
    EXPECT_EQ(above.image, Filled(0xFF, {{0x15FFF, 0xB1}, {0x16000, 0xB2}}));
    EXPECT_EQ(above.outOfRange, 1u);

    Walked far = Walk("S3090FFFFFFF11223344B6\r\nS2060000000102F6\r\n");
    EXPECT_EQ(far.image, Filled(0xFF));
    EXPECT_EQ(far.outOfRange, 6u);
}

TEST(SRecordWalker, EndsAtTheEndOfAnyText) {
    EXPECT_EQ(Walk("").image, Filled(0xFF)) << "empty";
    EXPECT_EQ(Walk("S").image, Filled(0xFF)) << "half pair";
    EXPECT_EQ(Walk(std::string(Data16) + "S").image, WithFirst16()) << "odd length";
    EXPECT_EQ(Walk(Data16.substr(0, Data16.size() - 2)).image, WithFirst16()) << "no CR LF";
    EXPECT_EQ(Walk(Data16.substr(0, Data16.size() - 1)).image, WithFirst16()) << "CR only";
}

TEST(SRecordWalker, RecordCutOffByTheEndKeepsTheBytesReadBeforeTheCut) {
    EXPECT_EQ(Walk(Data16.substr(0, 20)).image,
              Filled(0xFF, {{0, 0x00}, {1, 0x01}, {2, 0x02}, {3, 0x03}, {4, 0x04}}));
    EXPECT_EQ(Walk(Data16.substr(0, 21)).image,
              Filled(0xFF, {{0, 0x00}, {1, 0x01}, {2, 0x02}, {3, 0x03}, {4, 0x04}}))
        << "half a data pair";
    EXPECT_EQ(Walk(Data16.substr(0, Data16.size() - 4)).image, WithFirst16()) << "no checksum";
    EXPECT_EQ(Walk(Data16.substr(0, Data16.size() - 3)).image, WithFirst16()) << "half checksum";
    TFlashImage first15 = WithFirst16();
    first15[15] = 0xFF;
    EXPECT_EQ(Walk(Data16.substr(0, Data16.size() - 5)).image, first15) << "half the last byte";
    EXPECT_EQ(Walk(Data16.substr(0, 8)).image, Filled(0xFF)) << "inside the address";
    Walked bad = Walk("S2140E88000001G2");
    EXPECT_EQ(bad.image, Filled(0xFF)) << "a non-hex pair before the cut";
    EXPECT_EQ(bad.rejected, 1u);
}

TEST(SRecordWalker, FinishStoresACutRecordOnceWhateverFollows) {
    TFlashImage image = Filled(0xFF);
    SRecordWalker walker(image);
    walker.Feed(Bytes(Data16.substr(0, 20)));
    walker.Finish();
    walker.Finish();
    walker.Feed(Bytes("S2050E8810AA"));
    walker.Finish();
    EXPECT_EQ(image,
              Filled(0xFF, {{0, 0x00}, {1, 0x01}, {2, 0x02}, {3, 0x03}, {4, 0x04}, {0x10, 0xAA}}));
}

TEST(SRecordWalker, NonHexFieldRejectsTheRecordOnly) {
    const TFlashImage expected = Filled(0xFF, {{0x10, 0xC1}, {0x11, 0xC2}});
    const std::string next = "S2060E8810C1C2D0\r\n";

    Walked lower = Walk("S2140E8800000102030405060708090a0B0C0D0E0FDD\r\n" + next);
    EXPECT_EQ(lower.image, expected) << "lower-case data digit";
    EXPECT_EQ(lower.rejected, 1u);

    Walked address = Walk("S2140E88G0000102030405060708090A0B0C0D0E0FDD\r\n" + next);
    EXPECT_EQ(address.image, expected) << "address";
    EXPECT_EQ(address.rejected, 1u);

    Walked checksum = Walk("S2140E8800000102030405060708090A0B0C0D0E0Fdd\r\n" + next);
    EXPECT_EQ(checksum.image, expected) << "checksum";

    // An unreadable count gives no record length: the walk resumes right after it.
    Walked count = Walk("S2 4" + next);
    EXPECT_EQ(count.image, expected) << "count";
    EXPECT_EQ(count.rejected, 1u);
}

TEST(SRecordWalker, S3HasAFourByteAddressS4AThreeByteOne) {
    EXPECT_EQ(Walk("S309000E880011223344B6\r\n").image,
              Filled(0xFF, {{0, 0x11}, {1, 0x22}, {2, 0x33}, {3, 0x44}}));
    EXPECT_EQ(Walk("S4080E880055667788A7\r\n").image,
              Filled(0xFF, {{0, 0x55}, {1, 0x66}, {2, 0x77}, {3, 0x88}}));
}

} // namespace
} // namespace dedarida
