#include "text/utf16.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

// "Prüfung-固件" and U+1F600, which takes a surrogate pair.
const std::string kUtf8 = "Pr\xC3\xBC"
                          "fung-\xE5\x9B\xBA\xE4\xBB\xB6 \xF0\x9F\x98\x80";
const std::wstring kUtf16 = {L'P', L'r',   0x00FC, L'f', L'u',   L'n',  L'g',
                             L'-', 0x56FA, 0x4EF6, L' ', 0xD83D, 0xDE00};

TEST(Utf16, ConvertsBothWays) {
    EXPECT_EQ(Utf16FromUtf8(kUtf8), kUtf16);
    EXPECT_EQ(Utf8FromUtf16(kUtf16), kUtf8);
    EXPECT_EQ(Utf16FromUtf8(""), L"");
    EXPECT_EQ(Utf8FromUtf16(L""), "");
}

TEST(Utf16, KeepsAnEmbeddedNul) {
    EXPECT_EQ(Utf16FromUtf8(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(Utf16, ReplacesWhatIsNotUtf8) {
    // A Latin-1 byte where UTF-8 was expected.
    EXPECT_EQ(Utf16FromUtf8("a\xFC"
                            "b"),
              (std::wstring{L'a', 0xFFFD, L'b'}));
}

} // namespace
} // namespace dedarida
