#include "toolkit/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(const TextBuffer& t) { return std::string(t.Text(), static_cast<size_t>(t.Length())); }

struct RoundTrip {
    std::u16string wide;
    std::string utf8;
};

// ASCII stays byte for byte; every other character, also an unpaired
// surrogate, takes its UTF-8 (WTF-8) form and reads back as the same units.
TEST(Utf8, EveryUtf16TextRoundTrips) {
    const RoundTrip cases[] = {
        {u"", ""},
        {u"C:\\Tools\\EXT.txt%", "C:\\Tools\\EXT.txt%"},
        {u"Дмитрий", "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9"},
        {u"山田", "\xE5\xB1\xB1\xE7\x94\xB0"},  // 田 = 0x93 0x63 in code page 932: no 'c' here
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(1, char16_t(0xD83D)) + u"x", "\xED\xA0\xBDx"},  // lead surrogate alone
        {std::u16string(1, char16_t(0xDE00)), "\xED\xB8\x80"},           // trail surrogate alone
    };
    for (const RoundTrip& c : cases) {
        char store[64];
        TextOver out(store, 63);
        EXPECT_TRUE(AssignUtf8(out, c.wide.c_str()));
        EXPECT_EQ(Bytes(out), c.utf8);
        EXPECT_EQ(Utf8LengthOf(c.wide.c_str()), static_cast<int32_t>(c.utf8.size()));

        HeapWide back;
        ASSERT_TRUE(AssignUtf16Exact(back, out.Text()));
        EXPECT_EQ(std::u16string(back.Text(), static_cast<size_t>(back.Length())), c.wide);
        EXPECT_EQ(back.Capacity(), static_cast<int32_t>(c.wide.size()));
    }
}

// A cut never splits a character: not in bytes, not in UTF-16 units, not
// when counted in characters.
TEST(Utf8, CutsFallBetweenCharacters) {
    char store[8];
    TextOver out(store, 7);
    EXPECT_FALSE(AssignUtf8(out, u"ab\U0001F600cd"));  // 2 + 4 bytes fit, "c" too
    EXPECT_EQ(Bytes(out), "ab\xF0\x9F\x98\x80" "c");
    EXPECT_FALSE(AssignUtf8(out, u"abcd\U0001F600"));  // the 4 bytes would need 8
    EXPECT_EQ(Bytes(out), "abcd");

    FixedWide<3> wide;
    EXPECT_FALSE(AppendUtf16(wide, "ab\xF0\x9F\x98\x80"));
    EXPECT_EQ(std::u16string(wide.Text()), u"ab");

    const char* name = "\xD0\x9C\xD0\xBE\xD0\xB8 \xF0\x9F\x98\x80!";  // "Мои 😀!"
    EXPECT_EQ(Utf8PrefixBytes(name, 3), 6);
    EXPECT_EQ(Utf8PrefixBytes(name, 5), 11);
    EXPECT_EQ(Utf8PrefixBytes(name, 99), 12);
}

// Bytes that are not UTF-8 (a file written in a code page, a cut sequence)
// read as one U+FFFD each and never swallow the characters after them.
TEST(Utf8, InvalidBytesReadAsReplacementCharacters) {
    const char* cases[][2] = {
        {"caf\xE9.txt", "caf\xEF\xBF\xBD.txt"},       // 1252 é
        {"\x93" "c", "\xEF\xBF\xBD" "c"},             // 932 田: the 'c' stays a 'c'
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},     // over-long '/'
        {"\xE5\xB1", "\xEF\xBF\xBD\xEF\xBF\xBD"},     // cut at the end
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // past U+10FFFF
    };
    for (const auto& c : cases) {
        HeapWide wide;
        ASSERT_TRUE(AssignUtf16Exact(wide, c[0]));
        char store[64];
        TextOver out(store, 63);
        AssignUtf8(out, wide.Text());
        EXPECT_EQ(Bytes(out), c[1]) << c[0];
    }
}

}  // namespace
