// The byte-level helpers behind the pages and the request handling.

#include "portal/byterange.h"
#include "portal/html.h"
#include "portal/sites.h"

#include <gtest/gtest.h>

namespace {

TEST(HtmlEscape, NeutralisesMarkupAndRepairsBrokenUtf8) {
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"plain 中文", "plain 中文"},
        {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
        {"\" onmouseover=\"x", "&quot; onmouseover=&quot;x"},
        {"a&amp;b", "a&amp;amp;b"},
        {"\xFF", "\xEF\xBF\xBD"},                                 // never a UTF-8 byte
        {"\xE4\xB8", "\xEF\xBF\xBD\xEF\xBF\xBD"},                 // cut-off sequence
        {"\xE4\xB8<", "\xEF\xBF\xBD\xEF\xBF\xBD&lt;"},            // the cut does not swallow markup
        {"\xC0\xBC", "\xEF\xBF\xBD\xEF\xBF\xBD"},                 // overlong '<'
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // past U+10FFFF
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {std::string("a\0b", 3), "a\xEF\xBF\xBD"
                                 "b"},
    };
    for (const auto& [text, escaped] : cases)
        EXPECT_EQ(portal::HtmlEscape(text), escaped) << text;
}

TEST(FormatSize, UsesBinaryUnits) {
    EXPECT_EQ(portal::FormatSize(0), "0 B");
    EXPECT_EQ(portal::FormatSize(1023), "1023 B");
    EXPECT_EQ(portal::FormatSize(1536), "1.5 KiB");
    EXPECT_EQ(portal::FormatSize(3 * 1024 * 1024), "3.0 MiB");
}

TEST(QueryParameters, TakeEachParameterWholeFromTheRawTarget) {
    using Parameters = std::multimap<std::string, std::string>;
    const struct {
        std::string target;
        Parameters parameters;
    } cases[] = {
        {"/lumacast/api.html?url=magnet:?xt=urn:btih:AB", {{"url", "magnet:?xt=urn:btih:AB"}}},
        {"/a?x=1=2&y=3&z", {{"x", "1=2"}, {"y", "3"}, {"z", ""}}},
        {"/a=b", {}}, // '=' in the path is no parameter
        {"/client?v=varnholt&c=0&so=0&t=", {{"v", "varnholt"}, {"c", "0"}, {"so", "0"}, {"t", ""}}},
        {"/a?n%61me=%E6%96%B0+b%2B%2&&", {{"name", "\xE6\x96\xB0 b+%2"}}},
        {"/a?x=1#x=2", {{"x", "1"}}},
        {"/a??x=1&x=2", {{"?x", "1"}, {"x", "2"}}}, // the first '?' opens the query
    };
    for (const auto& [target, parameters] : cases)
        EXPECT_EQ(portal::QueryParameters(target), parameters) << target;
}

TEST(MagnetInfoHash, TakesTheTopicUpToTheNextParameter) {
    const struct {
        std::string magnet;
        std::string hash;
    } cases[] = {
        {"magnet:?xt=urn:btih:ABC", "ABC"},
        {"magnet:?xt=urn:btih:ABC&dn=name", "ABC"},
        {"magnet:?dn=name&xt=urn:btih:ABC", "ABC"},
        {"magnet:?xt=urn:btih:", ""},
        {"magnet:?dn=name", ""},
        {"http://example/?xt=urn:btih:ABC", ""},
        {"", ""},
    };
    for (const auto& [magnet, hash] : cases)
        EXPECT_EQ(portal::MagnetInfoHash(magnet), hash) << magnet;
}

TEST(AnswerRange, SendsOnePartCutAtTheEndAndRefusesTheRest) {
    using portal::RangeAnswer;
    constexpr auto Whole = RangeAnswer::Whole, Part = RangeAnswer::Part,
                   Refused = RangeAnswer::Refused;
    const struct {
        std::string header;
        std::uint64_t size;
        RangeAnswer::Kind kind;
        std::uint64_t first, length; // checked unless refused
    } cases[] = {
        {"", 1000, Whole, 0, 1000},
        {"bytes=0-99", 1000, Part, 0, 100},
        {"bytes=999-999", 1000, Part, 999, 1},
        {"bytes=100-", 1000, Part, 100, 900},                     // open-ended
        {"bytes=990-5000", 1000, Part, 990, 10},                  // cut at the end
        {"bytes=0-99999999999999999999999", 1000, Part, 0, 1000}, // past 64 bits
        {"bytes=-100", 1000, Part, 900, 100},                     // suffix
        {"bytes=-5000", 1000, Part, 0, 1000},                     // suffix longer than the file
        {" BYTES=0-9 ", 1000, Part, 0, 10},                       // the unit in any case
        {"bytes=0-9,", 1000, Part, 0, 10},                        // empty list elements
        {"bytes=1000-", 1000, Refused, 0, 0},                     // starts past the end
        {"bytes=1000-1005", 1000, Refused, 0, 0},
        {"bytes=99999999999999999999999-", 1000, Refused, 0, 0},
        {"bytes=-0", 1000, Refused, 0, 0},
        {"bytes=0-", 0, Refused, 0, 0}, // an empty file has no bytes
        {"bytes=-1", 0, Refused, 0, 0},
        {"", 0, Whole, 0, 0},
        {"bytes=5-3", 1000, Refused, 0, 0}, // malformed
        {"bytes=-", 1000, Refused, 0, 0},
        {"bytes=", 1000, Refused, 0, 0},
        {"bytes=1-2x", 1000, Refused, 0, 0},
        {"bytes=+1-2", 1000, Refused, 0, 0},
        {"bytes=0-9,x", 1000, Refused, 0, 0},
        {"0-9", 1000, Refused, 0, 0},
        {"items=0-9", 1000, Whole, 0, 1000},       // a unit of its own
        {"bytes=0-9,20-29", 1000, Whole, 0, 1000}, // several ranges
    };
    for (const auto& [header, size, kind, first, length] : cases) {
        SCOPED_TRACE(header + " of " + std::to_string(size));
        const RangeAnswer answer = portal::AnswerRange(header, size);
        EXPECT_EQ(answer.kind, kind);
        if (kind != Refused) {
            EXPECT_EQ(answer.range.first, first);
            EXPECT_EQ(answer.range.length, length);
        }
    }
}

} // namespace
