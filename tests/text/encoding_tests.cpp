#include "text/codepage.h"
#include "text/encoding.h"

#include <gtest/gtest.h>

using text::ByteSet;
using text::Gbk;
using namespace text;

namespace {

TEST(Utf8ToGbk, ReplacesWhatItCannotConvertWithQuestionMarks) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"plain ASCII", "plain ASCII"},
        {"\xE4\xB8\xAD", "\xD6\xD0"},
        {"\xE2\x82\xAC", "\x80"},
        // Each maximal invalid sequence is one U+FFFD, and GBK writes that as '?'.
        {"a\xC0z", "a?z"},
        {"a\xE4\xB8z", "a?z"},
        {"a\xE4\xB8", "a?"},
        {"\xC0\x80", "??"},
        {"\xED\xA0\x80", "???"},
        {"\xFF", "?"},
        // Outside the Basic Multilingual Plane: one '?' per UTF-16 unit.
        {"\xF0\x9F\x98\x80z", "??z"},
        {"\xF0\x9F\x98", "?"},
        // A GBK page read as UTF-8 is converted, not refused.
        {"\xD6\xD0", "??"},
        {std::string("a\0b", 3), "a"},
    };
    for (const auto& [utf8, gbk] : cases)
        EXPECT_EQ(Utf8ToGbk(utf8), gbk) << utf8;
}

TEST(CodePageToUtf16, GivesLittleEndianUnitsAndAZeroUnit) {
    EXPECT_EQ(CodePageToUtf16("A"), (ByteSet{0x41, 0, 0, 0}));
    EXPECT_EQ(CodePageToUtf16("\xE4\xB8\xAD"), (ByteSet{0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(CodePageToUtf16("\xD6\xD0", 936), (ByteSet{0x2D, 0x4E, 0, 0}));
    EXPECT_TRUE(CodePageToUtf16("").empty());
    EXPECT_TRUE(CodePageToUtf16("abc", 1234).empty());
}

TEST(Utf16ToCodePage, ReadsUpToTheFirstZeroUnit) {
    EXPECT_EQ(Utf16ToCodePage(ByteSet{0x2D, 0x4E, 0, 0}), "\xD6\xD0");
    EXPECT_EQ(Utf16ToCodePage(ByteSet{0x2D, 0x4E, 0, 0}, 65001), "\xE4\xB8\xAD");
    EXPECT_EQ(Utf16ToCodePage(ByteSet{0x41, 0, 0, 0, 0x42, 0}), "A");
    EXPECT_EQ(Utf16ToCodePage(ByteSet{0x41, 0, 0x42}), "A");
    EXPECT_EQ(Utf16ToCodePage(ByteSet{0x01, 0x0E}), "?");
    EXPECT_EQ(Utf16ToCodePage(ByteSet{}), "");
    EXPECT_EQ(Utf16ToCodePage(CodePageToUtf16("a\xF0\x9F\x98\x80")), "a??");
}

TEST(Big5ToGbk, EndsBeforeTheFirstCharacterGbkLacks) {
    const std::string big5Zhong = "\xA4\xA4"; // 中
    const std::string big5Ti = "\xC5\xE9";    // 體
    EXPECT_EQ(Big5ToGbk(big5Zhong + big5Ti), Gbk(u8"中體"));
    // Big5 A1 45 is U+2027, which GBK lacks.
    EXPECT_EQ(Big5ToGbk(big5Zhong + big5Ti + "\xA1\x45" + big5Zhong), Gbk(u8"中體"));
    // Windows reads 0x80 as U+0080 and 0xFF as a private-use character;
    // GBK has neither.
    EXPECT_EQ(Big5ToGbk("ab\x80"
                        "cd"),
              "ab");
    EXPECT_EQ(Big5ToGbk("ab\xFF"
                        "cd"),
              "ab");
    // A lone lead byte reads as '?', which GBK has.
    EXPECT_EQ(Big5ToGbk("ab\xA4"), "ab?");
    EXPECT_EQ(Big5ToGbk(""), "");
}

TEST(ToSimplifiedChinese, KeepsTheLength) {
    EXPECT_EQ(ToSimplifiedChinese(Gbk(u8"體育國家 ok")), Gbk(u8"体育国家 ok"));
    EXPECT_EQ(ToSimplifiedChinese(Gbk(u8"中文")), Gbk(u8"中文"));
    EXPECT_EQ(ToSimplifiedChinese(""), "");
    // Bytes that are no GBK character stay as they are.
    EXPECT_EQ(ToSimplifiedChinese("a\x81 \xB0"), "a\x81 \xB0");
    EXPECT_EQ(ToSimplifiedChinese("\x81\x30\xFF\xFF"), "\x81\x30\xFF\xFF");
    EXPECT_EQ(Big5ToSimplifiedGbk("\xA4\xA4\xC5\xE9"), Gbk(u8"中体"));
}

} // namespace
