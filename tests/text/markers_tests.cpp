#include "text/codepage.h"
#include "text/markers.h"

#include <gtest/gtest.h>

using text::Gbk;
using namespace text;

namespace {

TEST(TextAfterLast, TakesWhatFollowsTheLastMarker) {
    const std::string marker = "info_hash=";
    EXPECT_EQ(TextAfterLast("torrent?info_hash=AA&info_hash=BB", marker), "BB");
    EXPECT_EQ(TextAfterLast("torrent?info_hash=", marker), "");
    EXPECT_EQ(TextAfterLast("torrent?hash=AA", marker), "");
    EXPECT_EQ(TextAfterLast("", marker), "");
    EXPECT_EQ(TextAfterLast("torrent?INFO_HASH=AA", marker), "");
    EXPECT_EQ(TextAfterLast("torrent?INFO_HASH=AA", marker, true), "AA");
    EXPECT_EQ(TextAfterLast("abc", ""), "abc");
    // "=" as the trail byte of a character does not count.
    EXPECT_EQ(TextAfterLast("a=b\x81=c", "="), "b\x81=c");
}

struct BetweenCase {
    std::string text;
    std::string front;
    std::string back;
    bool caseSensitive;
    std::string expected;
};

TEST(TextBetween, CutsBetweenFirstFrontAndNextBack) {
    const std::string quoteWord = QuoteWord();
    const std::string latest = Gbk(u8"最新版本号：");
    const std::string next = Gbk(u8"</p><p>下");
    const BetweenCase cases[] = {
        {"<a>1</a><a>2</b>", "<a>", "</b>", false, "1</a><a>2"},
        {"</b> <a>x", "<a>", "</b>", false, ""},
        {"<p>" + latest + next + Gbk(u8"载"), latest, next, false, ""},
        {"<p>" + latest + "20131001" + next, latest, next, false, "20131001"},
        {"nothing here", "<a>", "</a>", false, ""},
        {"<A HREF=x>", "<a href=", ">", false, "x"},
        {"<A HREF=x>", "<a href=", ">", true, ""},
        {"", "", "", false, ""},
        {"abc", "", "c", false, "ab"},
        {"abc", "a", "", false, ""},
        // The word stands for a double quote in the markers ...
        {"<a href=\"magnet:?x\">", "href=" + quoteWord, quoteWord + ">", false, "magnet:?x"},
        // ... and only there: the text keeps its own bytes.
        {"<" + quoteWord + ">", "<", ">", false, quoteWord},
        {"a" + quoteWord + "b\"", "a\"", "\"", false, ""},
        // A marker's first byte as a character's trail byte does not count.
        {"\x81[1]x[2]", "[", "]", false, "2"},
        // After the front marker the search starts afresh, even inside what
        // was a character.
        {"<\xB0\xA1>x>", "<\xB0", "\xA1>", false, ""},
    };
    for (const BetweenCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextBetween(c.text, c.front, c.back, c.caseSensitive), c.expected);
    }
}

} // namespace
