#include "text/codepage.h"

#include <gtest/gtest.h>

#include <random>

using namespace text;

namespace {

std::string TwoStep(std::string_view bytes, int from, int to) {
    return FromUtf16(ToUtf16(bytes, from), to);
}

TEST(CodePage, ConvertsTheProgramsConstants) {
    EXPECT_EQ(Gbk(u8"中"), "\xD6\xD0");
    EXPECT_EQ(Gbk("ascii"), "ascii");
    EXPECT_EQ(Gbk(u8"€"), "\x80");
    EXPECT_EQ(GbkToUtf8("\xD6\xD0"), "中");
    EXPECT_EQ(GbkToUtf16("a\xD6\xD0"), u"a中");
    EXPECT_EQ(Utf16ToGbk(u"a中"), "a\xD6\xD0");
    EXPECT_EQ(Gbk(""), "");
}

TEST(CodePage, WritesOneDefaultCharacterPerUnit) {
    EXPECT_EQ(Utf16ToGbk(u"a\U0001F600b"), "a??b");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(Utf16ToGbk(lone), "a?b?");
    EXPECT_EQ(FromUtf16(lone, Utf8CodePage), "a\xEF\xBF\xBD"
                                             "b\xEF\xBF\xBD");
    EXPECT_EQ(FromUtf16(u"a\u0E01b", GbkCodePage, Unmappable::Stop), "a");
}

TEST(CodePage, ReadsUndefinedBytes) {
    // Windows' tables: 0x80 is the euro sign in GBK, 0xFF a private-use
    // character in both; a lone lead byte reads as '?'.
    EXPECT_EQ(GbkToUtf16("\x80\xFF"), u"\u20AC\uF8F5");
    EXPECT_EQ(ToUtf16("\x80\xFF", Big5CodePage), u"\u0080\uF8F8");
    EXPECT_EQ(GbkToUtf16("a\x81"), u"a?");
    EXPECT_EQ(GbkToUtf16("\x81 b"), u"? b");
    EXPECT_EQ(ToUtf16("\xE4\xB8"
                      "a",
                      Utf8CodePage),
              u"\uFFFDa");
}

TEST(CodePage, InputsEndAtTheirFirstZero) {
    EXPECT_EQ(Gbk(std::string_view("a\0b", 3)), "a");
    EXPECT_EQ(GbkToUtf16(std::string_view("a\0b", 3)), u"a");
    EXPECT_EQ(Utf16ToGbk(std::u16string_view(u"a\0b", 3)), "a");
}

TEST(CodePage, UnknownCodePageGivesNothing) {
    EXPECT_FALSE(Converter(1234));
    EXPECT_EQ(ToUtf16("abc", 1234), u"");
    EXPECT_EQ(FromUtf16(u"abc", 1234), "");
    EXPECT_EQ(ConvertCodePage("abc", Utf8CodePage, 1234), "");
}

// The direct conversion must replace exactly what the two steps replace.
TEST(CodePage, DirectConversionEqualsTheTwoSteps) {
    const std::string tricky[] = {
        "\xE4\xB8\xAD",
        "a\xC0\x80z",
        "\xED\xA0\x80",
        "\xF0\x9F\x98\x80",
        "\xF4\x90\x80\x80",
        "\xE4\xB8",
        "\xE4",
        "\xFF\xFE",
        "\xD6\xD0\xCE\xC4",
        "\xE2\x82\xAC\xC2\xA9\xC3\xA9",
    };
    const std::pair<int, int> directions[] = {
        {Utf8CodePage, GbkCodePage}, {GbkCodePage, Utf8CodePage}, {Big5CodePage, GbkCodePage}};
    std::mt19937 random(936);
    std::vector<std::string> inputs(std::begin(tricky), std::end(tricky));
    // Random bytes, and random strings of whole, cut and ill-formed sequences.
    const std::string pieces[] = {"a",
                                  "\xC2\xA9",
                                  "\xE4\xB8\xAD",
                                  "\xE9\xBE\xA5",
                                  "\xEF\xBF\xBD",
                                  "\xE0\xA0\x80",
                                  "\xE0\x9F\xBF",
                                  "\xED\x9F\xBF",
                                  "\xED\xA0\x80",
                                  "\xEE\x80\x80",
                                  "\xF0\x90\x80\x80",
                                  "\xF4\x8F\xBF\xBF",
                                  "\xF4\x90",
                                  "\xE4",
                                  "\xE4\xB8",
                                  "\x80",
                                  "\xC1\xBF",
                                  "\xFF"};
    for (int i = 0; i < 2000; ++i) {
        std::string bytes(random() % 40, '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random() % 2 ? 0x80 + random() % 0x80 : random() % 0x100);
        inputs.push_back(bytes);
        std::string joined;
        for (int n = random() % 30; n > 0; --n)
            joined += pieces[random() % std::size(pieces)];
        inputs.push_back(joined);
    }
    inputs.push_back(std::string(5000, '\xE4') + "\xB8\xAD"); // grows the output buffer
    for (const auto& [from, to] : directions)
        for (const std::string& bytes : inputs)
            ASSERT_EQ(ConvertCodePage(bytes, from, to), TwoStep(bytes, from, to)) << from << bytes;
}

} // namespace
