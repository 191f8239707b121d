#include "text/byteset.h"
#include "text/codepage.h"
#include "text/text.h"
#include "textreference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace text;

namespace {

// GBK 啊 (B0 A1), a two-byte character whose halves help to build traps.
const std::string Ah = "\xB0\xA1";

struct FindCase {
    std::string text;
    std::string sought;
    std::optional<std::int64_t> start;
    bool ignoreCase;
    int forward;
    int reverse;
};

TEST(FindText, FollowsTheCharacterWalk) {
    const std::string leads31(31, '\xB0');
    const FindCase cases[] = {
        {"abc", "", {}, false, 1, 1},
        {"", "", {}, false, -1, -1},
        {"", "a", {}, false, -1, -1},
        {"abcabc", "bc", {}, false, 2, 5},
        {"abcabc", "bc", 3, false, 5, -1},
        {"abcabc", "a", 0, false, 1, -1},
        {"abcabc", "a", -7, false, 1, -1},
        {"abc", "c", 4, false, -1, 3},
        {"abc", "c", 10, false, -1, 3},
        {"a/b/c", "/", 5, false, -1, 4},
        {"a/b/c", "/", 4, false, 4, 2},
        {"aaa", "aa", {}, false, 1, 2},
        // The second byte of one character and the first of the next.
        {Ah + Ah, "\xA1\xB0", {}, false, -1, -1},
        {Ah + Ah, "\xA1", {}, false, -1, -1},
        {Ah + Ah, "\xB0", {}, false, 1, 3},
        // A walk that starts on a trail byte counts from there.
        {Ah + Ah, "\xA1\xB0", 2, false, 2, -1},
        // A lead byte at the very end is a character of its own.
        {"ab\xB0", "\xB0", {}, false, 3, 3},
        {"x/\xB0/", "/", {}, false, 2, 2},
        // The trail of the last lead byte before a run of plain bytes.
        {leads31 + "ab", "ab", {}, false, -1, -1},
        {leads31 + "ab", "b", {}, false, 33, 33},
        {leads31 + "ab", "AB", {}, true, -1, -1},
        {leads31 + "ab", "B", {}, true, 33, 33},
        {"\xB0"
         "aa",
         "a",
         {},
         false,
         3,
         3},
        {"Set-Cookie: x", "set-cookie: ", {}, false, -1, -1},
        {"Set-Cookie: x", "set-cookie: ", {}, true, 1, 1},
        // Only A-Z fold: not Latin-1 capitals, and bytes are folded one by one,
        // trail bytes included.
        {"\xC1", "\xE1", {}, true, -1, -1},
        {"\x81\x41", "\x81\x61", {}, true, 1, 1},
        {"\x81\x41", "a", {}, true, -1, -1},
        {std::string(40, 'x') + Ah + "MarkER" + Ah, "marker", {}, true, 43, 43},
        // The neighbours of A-Z in ASCII do not fold.
        {std::string(40, 'x') + "@[`{Z", "@[`{z", {}, true, 41, 41},
        {std::string(40, 'x') + "@[`{Z", "`{`{z", {}, true, -1, -1},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" / \"" << c.sought << '"');
        EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.forward);
        EXPECT_EQ(FindTextReverse(c.text, c.sought, c.start, c.ignoreCase), c.reverse);
    }
}

// Random texts over an alphabet of letters, lead bytes and blanks meet the
// literal walk in every corner: runs of lead bytes of either parity, folded
// letters as trail bytes, markers that end in a lead byte.
TEST(FindText, AgreesWithTheLiteralWalkOnRandomTexts) {
    std::mt19937 random(20130906);
    const std::string alphabet = "aAbB&;\xB0\xA1\x81 ";
    auto pick = [&](std::size_t length) {
        std::string s;
        for (std::size_t i = 0; i < length; ++i)
            s += alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string text = pick(random() % 80);
        const std::string sought = random() % 2 || text.empty()
                                       ? pick(random() % 4)
                                       : text.substr(random() % text.size(), random() % 4);
        const std::optional<std::int64_t> start =
            random() % 3 ? std::nullopt : std::optional<std::int64_t>(int(random() % 90) - 5);
        const std::optional<std::int64_t> count =
            random() % 2 ? std::nullopt : std::optional<std::int64_t>(int(random() % 4) - 1);
        const bool flag = random() % 2;
        SCOPED_TRACE(testing::Message() << '"' << text << "\" / \"" << sought << '"');
        ASSERT_EQ(FindText(text, sought, start, flag),
                  reference::Find(text, sought, start, flag, false));
        ASSERT_EQ(FindTextReverse(text, sought, start, flag),
                  reference::Find(text, sought, start, flag, true));
        ASSERT_EQ(ReplaceSubtext(text, sought, "<>", start, count, flag),
                  reference::Replace(text, sought, "<>", start, count, flag));
    }
}

struct ReplaceCase {
    std::string text;
    std::string sought;
    std::string replacement;
    std::optional<std::int64_t> start;
    std::optional<std::int64_t> count;
    bool caseSensitive;
    std::string expected;
};

TEST(ReplaceSubtext, ReplacesLeftToRightWithoutOverlap) {
    const ReplaceCase cases[] = {
        {"a&AMP;b&amp;c", "&amp;", "&", {}, {}, false, "a&b&c"},
        {"a&AMP;b&amp;c", "&amp;", "&", {}, {}, true, "a&AMP;b&c"},
        {"&amp;x&amp;y&amp;", "&amp;", "&", 2, 1, false, "&amp;x&y&amp;"},
        {"&amp;x&amp;", "&amp;", "&", {}, -1, false, "&x&"},
        {"&amp;x", "&amp;", "&", {}, 0, false, "&amp;x"},
        {"&amp;x", "&amp;", "&", 7, {}, false, "&amp;x"},
        {"abc", "", "-", {}, {}, false, "abc"},
        {"", "a", "-", {}, {}, false, ""},
        {"aaaa", "aa", "b", {}, {}, false, "bb"},
        {"aaa", "aa", "b", {}, {}, false, "ba"},
        {"abc", "b", {}, {}, {}, false, "ac"},
        {Ah + Ah, "\xA1\xB0", "-", {}, {}, false, Ah + Ah},
        // After a match the walk goes on right behind it, even inside what
        // was a character.
        {"\xB0\xB0\xB0", "\xB0", "-", {}, {}, false, "---"},
        {"ab\xB0", "b", "-", {}, {}, false, "a-\xB0"},
    };
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(
            ReplaceSubtext(c.text, c.sought, c.replacement, c.start, c.count, c.caseSensitive),
            c.expected);
    }
}

TEST(TextCutting, KeepsWithinTheText) {
    EXPECT_EQ(TextLeft("abc", 0), "");
    EXPECT_EQ(TextLeft("abc", -3), "");
    EXPECT_EQ(TextLeft("abc", 2), "ab");
    EXPECT_EQ(TextLeft("abc", 9), "abc");
    EXPECT_EQ(TextLeft(Ah, 1), "\xB0"); // no double-byte adjustment
    EXPECT_EQ(TextRight("abc", 2), "bc");
    EXPECT_EQ(TextRight("abc", 9), "abc");
    EXPECT_EQ(TextRight("abc", -1), "");
    EXPECT_EQ(TextMiddle("abc", 3, 5), "c");
    EXPECT_EQ(TextMiddle("abc", 4, 1), "");
    EXPECT_EQ(TextMiddle("abc", 0, 2), "");
    EXPECT_EQ(TextMiddle("abc", 2, 0), "");
    EXPECT_EQ(TextMiddle("abc", 1, std::numeric_limits<std::int64_t>::max()), "abc");
    EXPECT_EQ(TextLength(""), 0);
    EXPECT_EQ(TextLength(Ah), 2);
    EXPECT_EQ(CharText(0), "");
    EXPECT_EQ(CharText(0xB0), "\xB0");
    EXPECT_EQ(SpaceText(0), "");
    EXPECT_EQ(SpaceText(3), "   ");
}

TEST(ReplaceRange, DeletesThenInserts) {
    EXPECT_EQ(ReplaceRange("http://host/x", 1, 7), "host/x");
    EXPECT_EQ(ReplaceRange("abcdef", 3, 100), "ab");
    EXPECT_EQ(ReplaceRange("abcdef", 3, 2, "XY"), "abXYef");
    EXPECT_EQ(ReplaceRange("abcdef", 3, 0, "-"), "ab-cdef");
    EXPECT_EQ(ReplaceRange("abcdef", -4, 1), "bcdef");
    EXPECT_EQ(ReplaceRange("abc", 10, 1, "-"), "abc-");
    EXPECT_EQ(ReplaceRange("abc", 2, std::numeric_limits<std::int64_t>::max()), "a");
}

TEST(CaseMapping, LeavesDoubleByteCharactersAlone) {
    // 0x41 and 0x61 are GBK trail bytes as well as letters.
    EXPECT_EQ(ToUpperCase("a\x81\x61z\xC1"), "A\x81\x61Z\xC1");
    EXPECT_EQ(ToLowerCase("A\x81\x41Z"), "a\x81\x41z");
    EXPECT_EQ(ToUpperCase("x\xB0"), "X\xB0");
}

TEST(Blanks, AreAsciiAndFullWidthSpacesOnly) {
    EXPECT_EQ(TrimSpaces("\xA1\xA1 a\t b\r\n \xA1\xA1"), "a\t b\r\n");
    EXPECT_EQ(TrimSpaces(" \xA1\xA1 "), "");
    // The last A1 A1 here is a character's trail and a lone lead byte.
    EXPECT_EQ(TrimSpaces("\xB0\xA1\xA1"), "\xB0\xA1\xA1");
    EXPECT_EQ(TrimSpaces("x\xB0\xA1\xA1\xA1"), "x\xB0\xA1");
    EXPECT_EQ(RemoveSpaces(" a b\xA1\xA1"
                           "c "),
              "abc");
    EXPECT_EQ(RemoveSpaces("\xB0\xA1\xA1\xB0"), "\xB0\xA1\xA1\xB0");
}

TEST(CompareText, FoldsSingleByteLettersUnlessCaseSensitive) {
    EXPECT_EQ(CompareText("HTTP://", "http://"), 0);
    EXPECT_NE(CompareText("HTTP://", "http://", true), 0);
    EXPECT_LT(CompareText("a", "B"), 0);
    EXPECT_LT(CompareText("ab", "abc"), 0);
    EXPECT_GT(CompareText(Ah, "z"), 0);
    EXPECT_NE(CompareText("\x81\x41", "\x81\x61"), 0);
    // A text that ends inside the other's double-byte character is a prefix.
    EXPECT_GT(CompareText("\xF2\xF8", "\xF2", true), 0);
    EXPECT_LT(CompareText("\xF2", "\xF2\xF8"), 0);
    EXPECT_EQ(CompareText("", ""), 0);
}

TEST(CompareTextOrdinal, OrdersByUnsignedBytes) {
    EXPECT_EQ(CompareTextOrdinal("20130906", "20130906"), 0);
    EXPECT_EQ(CompareTextOrdinal("20130906", "20131001"), -1);
    EXPECT_EQ(CompareTextOrdinal("\x80", "a"), 1);
    EXPECT_EQ(CompareTextOrdinal("", "a"), -1);
    EXPECT_EQ(CompareTextOrdinal("ab", "a"), 1);
}

TEST(ToText, GivesDecimalAndChineseTruthValues) {
    EXPECT_EQ(ToText(-42), "-42");
    EXPECT_EQ(ToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(ToText(true), Gbk(u8"真"));
    EXPECT_EQ(ToText(false), Gbk(u8"假"));
    EXPECT_EQ(ToText(ByteSet{'a', 'b', 0, 'c'}), "ab");
    EXPECT_EQ(ToText(ByteSet{'a', 'b'}), "ab");
    EXPECT_EQ(TextFromBytes(std::string_view("a\0b", 3)), "a");
}

TEST(ToNumber, ReadsTheLeadingDecimalNumber) {
    const std::pair<std::string, double> cases[] = {
        {"8080", 8080},
        {"\xA3\xB8\xA3\xB0\xA3\xB8\xA3\xB0", 8080}, // full-width digits
        {"\xA3\xAD\xA3\xB5", -5},
        {"\xA1\xA1 12abc", 12},
        {" \t+7", 7},
        {".5", 0.5},
        {"-2.5e2x", -250},
        {"0x10", 0},
        {"letters", 0},
        {"inf", 0},
        {"-", 0},
        {"", 0},
        {"1e-999", 0},
    };
    for (const auto& [text, number] : cases)
        EXPECT_EQ(ToNumber(text), number) << text;
    EXPECT_EQ(ToNumber("1e999"), HUGE_VAL);
    EXPECT_EQ(ToNumber("-1e999"), -HUGE_VAL);
}

TEST(TruncateToInteger, TruncatesTowardZero) {
    EXPECT_EQ(TruncateToInteger(2.9), 2);
    EXPECT_EQ(TruncateToInteger(-2.9), -2);
    const auto smallest = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(TruncateToInteger(std::nan("")), smallest);
    EXPECT_EQ(TruncateToInteger(1e300), smallest);
    EXPECT_EQ(TruncateToInteger(-9223372036854775808.0), smallest);
}

TEST(ByteSet, CutsAndFills) {
    const ByteSet bytes{1, 2, 3};
    EXPECT_EQ(ByteSetLeft(bytes, 2), (ByteSet{1, 2}));
    EXPECT_EQ(ByteSetLeft(bytes, 9), bytes);
    EXPECT_TRUE(ByteSetLeft(bytes, -1).empty());
    EXPECT_EQ(ByteSetLength(bytes), 3);
    EXPECT_TRUE(ZeroByteSet(0).empty());
    EXPECT_EQ(ZeroByteSet(2), (ByteSet{0, 0}));
    EXPECT_TRUE(ToByteSet("").empty());
    EXPECT_EQ(ToByteSet("ab"), (ByteSet{'a', 'b'}));
}

} // namespace
