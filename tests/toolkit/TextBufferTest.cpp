#include "toolkit/TextBuffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Every operation must leave 0 <= length <= capacity, the terminator at
// length and no zero byte before it.
void ExpectInvariants(const TextBuffer& t) {
    ASSERT_GE(t.length, 0);
    ASSERT_LE(t.length, t.capacity);
    EXPECT_EQ(t.storage[t.length], 0);
    EXPECT_EQ(std::strlen(t.storage), static_cast<size_t>(t.length));
}

std::string Text(const TextBuffer& t) { return std::string(t.Text(), static_cast<size_t>(t.Length())); }

struct OpCase {
    const char* what;
    const char* start;
    std::string (*apply)(TextBuffer&);
    const char* expected;
};

TEST(TextBuffer, OperationsOnAFixedText) {
    const OpCase cases[] = {
        {"resize pads with spaces", "ab", [](TextBuffer& t) { return Text(t.Resize(3, 0)); }, "ab "},
        {"resize pads with the given byte", "ab", [](TextBuffer& t) { return Text(t.Resize(4, '*')); }, "ab**"},
        {"resize shortens", "abc", [](TextBuffer& t) { return Text(t.Resize(1, 0)); }, "a"},
        {"resize to zero empties", "abc", [](TextBuffer& t) { return Text(t.Resize(0, 0)); }, ""},
        {"resize -1 recounts", "abc", [](TextBuffer& t) { return Text(t.Resize(-1, 0)); }, "abc"},
        {"truncate at length is a no-op", "abcde", [](TextBuffer& t) { return Text(t.Truncate(5)); }, "abcde"},
        {"truncate beyond is a no-op", "abc", [](TextBuffer& t) { return Text(t.Truncate(9)); }, "abc"},
        {"truncate -1 is a no-op", "abc", [](TextBuffer& t) { return Text(t.Truncate(-1)); }, "abc"},
        {"truncate cuts", "abcdef", [](TextBuffer& t) { return Text(t.Truncate(2)); }, "ab"},
        {"erase the only byte", "a", [](TextBuffer& t) { return Text(t.Erase(0, 1)); }, ""},
        {"erase past the end cuts", "abcdef", [](TextBuffer& t) { return Text(t.Erase(2, 100)); }, "ab"},
        {"erase in the middle", "abcdef", [](TextBuffer& t) { return Text(t.Erase(1, 2)); }, "adef"},
        {"erase at length is a no-op", "abc", [](TextBuffer& t) { return Text(t.Erase(3, 1)); }, "abc"},
        {"trim both ends", "  a b  ", [](TextBuffer& t) { return Text(t.Trim()); }, "a b"},
        {"trim keeps tabs", "\ta \t", [](TextBuffer& t) { return Text(t.Trim()); }, "\ta \t"},
        {"trim all spaces", "    ", [](TextBuffer& t) { return Text(t.Trim()); }, ""},
        {"mid", "", [](TextBuffer& t) { return Text(t.AssignMid("abcdef", 2, 3)); }, "cde"},
        {"mid past the end", "", [](TextBuffer& t) { return Text(t.AssignMid("ab", 5, 3)); }, ""},
        {"mid with negative start", "", [](TextBuffer& t) { return Text(t.AssignMid("abc", -4, 2)); }, "ab"},
        {"right", "", [](TextBuffer& t) { return Text(t.AssignRight("abcdef", 2)); }, "ef"},
        {"right longer than source", "", [](TextBuffer& t) { return Text(t.AssignRight("ab", 5)); }, "ab"},
        {"right of zero", "x", [](TextBuffer& t) { return Text(t.AssignRight("ab", 0)); }, ""},
        {"left", "", [](TextBuffer& t) { return Text(t.AssignLeft("abcdef", 2)); }, "ab"},
        {"left of zero", "x", [](TextBuffer& t) { return Text(t.AssignLeft("abc", 0)); }, ""},
        {"left longer than source", "", [](TextBuffer& t) { return Text(t.AssignLeft("abc", 10)); }, "abc"},
        {"upper leaves high bytes", "", [](TextBuffer& t) { return Text(t.AssignUpper("abc\xE4\xE9z{")); }, "ABC\xE4\xE9Z{"},
        {"append decimal", "x", [](TextBuffer& t) { return Text(t.AppendDecimal(42)); }, "x42"},
        {"append negative decimal", "", [](TextBuffer& t) { return Text(t.AppendDecimal(-7)); }, "-7"},
        {"chained appends", "a", [](TextBuffer& t) { return Text(t.Append("b").Append("").Append("cd")); }, "abcd"},
        {"assign own tail", "abcdef", [](TextBuffer& t) { return Text(t.Assign(t.Text() + 2)); }, "cdef"},
    };
    for (const OpCase& c : cases) {
        SCOPED_TRACE(c.what);
        FixedText t(c.start);
        EXPECT_EQ(c.apply(t), c.expected);
        ExpectInvariants(t);
    }
}

TEST(TextBuffer, TrimAndUnquote) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"  \"C:\\Program Files\\x.exe\"  ", "C:\\Program Files\\x.exe"},
        {"\"", ""},
        {"abc\"", "abc"},
        {"\"abc", "abc"},
        {"\" spaced \"", " spaced "},
        {"a \"b c\"", "a \"b c"},
        {"", ""},
        {"plain", "plain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        FixedText t(c.in);
        t.TrimAndUnquote();
        EXPECT_EQ(Text(t), c.out);
        ExpectInvariants(t);
    }
}

TEST(TextBuffer, CutsAtCapacity) {
    const size_t cap = kFixedTextBytes;
    std::string big(cap + 40, 'x');
    big[cap - 1] = 'y';
    FixedText fixed(big.c_str());
    EXPECT_EQ(fixed.Length(), kFixedTextBytes);
    EXPECT_EQ(Text(fixed), big.substr(0, cap));

    fixed.Append("more");  // a full buffer stays as it is
    EXPECT_EQ(Text(fixed), big.substr(0, cap));
    ExpectInvariants(fixed);

    FixedText copy;
    CopyToFixed(copy, fixed);
    EXPECT_EQ(Text(copy), Text(fixed));

    char small[6];
    TextOver over(small, 5, "abc");
    over.Append("defgh");
    EXPECT_EQ(Text(over), "abcde");
    over.AppendDecimal(9);  // no room: unchanged
    EXPECT_EQ(Text(over), "abcde");
    over.Truncate(3).AppendDecimal(12345);  // room for two digits: leading ones kept
    EXPECT_EQ(Text(over), "abc12");
    over.AssignUpper("abcdefgh");
    EXPECT_EQ(Text(over), "ABCDE");
    over.AssignRight("0123456789", 8);  // copy from position 2, cut at capacity
    EXPECT_EQ(Text(over), "23456");
    ExpectInvariants(over);

    // Resize beyond capacity: terminate at capacity and recount what is there.
    over.Assign("ab");
    over.storage[2] = 'c';
    over.storage[3] = 0;
    over.Resize(99, 0);
    EXPECT_EQ(Text(over), "abc");
}

TEST(TextBuffer, ResizeAdoptsTextWrittenIntoStorage) {
    FixedText t;
    std::strcpy(t.storage, "written by the platform");
    t.Resize(7, 0);
    EXPECT_EQ(Text(t), "written");
    t.Recount();
    EXPECT_EQ(Text(t), "written");
}

// --- HeapText and its allocator ------------------------------------------------

int g_allocations = 0;
int g_releases = 0;
int g_failAfter = -1;  // fail every allocation once this many have succeeded

void* CountingAllocate(size_t n) {
    if (g_failAfter >= 0 && g_allocations >= g_failAfter) return nullptr;
    ++g_allocations;
    return std::malloc(n);
}
void CountingRelease(void* p) {
    ++g_releases;
    std::free(p);
}

class HeapTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_allocations = g_releases = 0;
        g_failAfter = -1;
        previous_ = SetTextHeap({CountingAllocate, CountingRelease});
    }
    void TearDown() override { SetTextHeap(previous_); }
    TextHeap previous_{};
};

TEST_F(HeapTextTest, ReserveSizesExactlyAndFreesWhatItTook) {
    {
        HeapText t;
        EXPECT_EQ(t.Capacity(), 1);
        EXPECT_FALSE(t.OnHeap());
        t.Reserve(0);
        EXPECT_EQ(t.Capacity(), 1);
        EXPECT_EQ(g_allocations, 0);

        t.Reserve(1);  // capacity 0: nothing ever fits
        EXPECT_EQ(t.Capacity(), 0);
        t.Assign("abc");
        EXPECT_EQ(Text(t), "");
        ExpectInvariants(t);

        t.AssignExact("hello");
        EXPECT_EQ(t.Capacity(), 5);
        EXPECT_EQ(Text(t), "hello");
        EXPECT_EQ(g_allocations, 2);
        EXPECT_EQ(g_releases, 1);  // the second Reserve freed the first block

        t.FreeStorage();
        EXPECT_EQ(t.Capacity(), 1);
        EXPECT_TRUE(t.Empty());
        EXPECT_EQ(g_releases, 2);
        t.FreeStorage();  // never frees the inline store
        EXPECT_EQ(g_releases, 2);
        t.AssignExact("again");
    }
    EXPECT_EQ(g_allocations, g_releases);  // the destructor freed the last block
}

TEST_F(HeapTextTest, FailedReserveLeavesTheInlineState) {
    g_failAfter = 0;
    HeapText t;
    t.Reserve(10);
    EXPECT_FALSE(t.OnHeap());
    EXPECT_EQ(t.Capacity(), 1);
    t.Assign("xyz");
    EXPECT_EQ(Text(t), "x");  // only the first byte fits the inline store
    ExpectInvariants(t);
}

TEST_F(HeapTextTest, ListsPushAtTheHeadAndFreeEverything) {
    TextListNode* head = nullptr;
    ASSERT_EQ(PushText(&head, "first"), 1);
    ASSERT_EQ(PushText(&head, "second"), 1);
    ASSERT_EQ(PushText(&head, ""), 1);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(Text(head->text), "");
    EXPECT_EQ(Text(head->next->text), "second");
    EXPECT_EQ(head->next->text.Capacity(), 6);
    EXPECT_EQ(Text(head->next->next->text), "first");
    EXPECT_EQ(head->next->next->next, nullptr);
    FreeTextList(&head);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(g_allocations, g_releases);
}

TEST_F(HeapTextTest, NodeWhoseTextCannotBeHadIsNotAdded) {
    TextListNode* head = nullptr;
    ASSERT_EQ(PushText(&head, "kept"), 1);
    g_failAfter = g_allocations;  // the next node cannot be allocated at all
    EXPECT_EQ(PushText(&head, "lost"), 0);
    g_failAfter = g_allocations + 1;  // the node, but not its text block
    EXPECT_EQ(PushText(&head, "cut"), 0);
    g_failAfter = -1;
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(Text(head->text), "kept");
    EXPECT_EQ(head->next, nullptr);
    FreeTextList(&head);
    EXPECT_EQ(g_allocations, g_releases);
}

// --- Decimal conversion ------------------------------------------------------------

TEST(Decimal, Format) {
    const struct {
        int32_t value;
        int size;
        const char* text;
        int returned;
    } cases[] = {
        {0, 12, "0", 2},
        {7, 12, "7", 2},
        {10, 12, "10", 3},
        {1000000000, 12, "1000000000", 11},
        {2147483647, 12, "2147483647", 11},
        {-1, 12, "-1", 3},
        {-2147483647 - 1, 12, "-2147483648", 12},
        {-2147483647 - 1, 5, "-214", 5},
        {-7, 1, "", 1},
        {-7, 2, "-", 2},
        {12345, 4, "123", 4},
        {5, 1, "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        char out[16];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(FormatDecimal(c.value, out, c.size), c.returned);
        EXPECT_STREQ(out, c.text);
    }
    char untouched[4] = "abc";
    EXPECT_EQ(FormatDecimal(42, untouched, 0), 0);
    EXPECT_EQ(FormatDecimal(42, untouched, -3), 0);
    EXPECT_STREQ(untouched, "abc");
}

TEST(Decimal, Parse) {
    const struct {
        const char* text;
        int32_t value;
        int end;
    } cases[] = {
        {"", 0, -1},
        {"-", 0, -1},
        {"+", 0, -1},
        {"12a", 12, 2},
        {"a", 0, 0},
        {" 5", 0, 0},
        {"+7", 7, -1},
        {"-0", 0, -1},
        {"2147483647", 2147483647, -1},
        {"2147483648", 214748364, 9},
        {"-2147483648", -2147483647 - 1, -1},
        {"-2147483649", -214748364, 10},
        {"99999999999", 999999999, 9},
        {"--1", 0, 1},
        {"5)", 5, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int end = 12345;
        EXPECT_EQ(ParseDecimal(c.text, &end), c.value);
        EXPECT_EQ(end, c.end);
        EXPECT_EQ(ParseDecimal(c.text, nullptr), c.value);
    }
}

// --- Pattern search ------------------------------------------------------------------

int Find(const char* pattern, const char* text, int* count) {
    unsigned char table[kMatchTableSize];
    std::memset(table, 0xAB, sizeof table);
    BuildMatchTable(pattern, table);
    return FindPattern(pattern, text, table, count);
}

TEST(Pattern, Find) {
    const struct {
        const char* pattern;
        const char* text;
        int index;
        int count;
    } cases[] = {
        {";TXT;", ";DOC;TXT;", 4, 5},
        {";TXT;", ";TXTX;", -1, 6},
        {"aab", "aaab", 1, 3},
        {"abab", "abacabab", 4, 4},
        {"", "", 0, 0},
        {"", "abc", 0, 0},
        {"x", "", -1, 0},
        {"abc", "ab", -1, 2},
        {";.;", ";.TXT;.;", 5, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " in " + c.text);
        int count = -99;
        EXPECT_EQ(Find(c.pattern, c.text, &count), c.index);
        EXPECT_EQ(count, c.count);
    }
}

TEST(Pattern, OnlyTheFirst255BytesOfAPatternCount) {
    std::string pattern(300, 'p');
    for (size_t i = 255; i < 300; ++i) pattern[i] = 'q';  // never in the text
    std::string text = "zz" + std::string(255, 'p') + "zz";
    int count = 0;
    EXPECT_EQ(Find(pattern.c_str(), text.c_str(), &count), 2);
    EXPECT_EQ(count, 255);

    std::string shortText(254, 'p');
    EXPECT_EQ(Find(pattern.c_str(), shortText.c_str(), &count), -1);
    EXPECT_EQ(count, 254);
}

TEST(Pattern, TableIsTheKmpFailureFunction) {
    unsigned char table[kMatchTableSize];
    std::memset(table, 0x11, sizeof table);
    BuildMatchTable("abab", table);
    EXPECT_EQ(table[0], 0xFF);
    EXPECT_EQ(table[1], 0);
    EXPECT_EQ(table[2], 0);
    EXPECT_EQ(table[3], 1);
    EXPECT_EQ(table[4], 0x11);  // nothing written past the pattern

    std::memset(table, 0x11, sizeof table);
    BuildMatchTable("", table);
    EXPECT_EQ(table[0], 0x11);
}

}  // namespace
