#include "text/markers.h"

#include "text/codepage.h"

namespace text {
namespace {

text::Text WithQuotes(std::string_view marker, const text::Text& quoteWord) {
    if (text::FindText(marker, quoteWord) < 0)
        return text::Text(marker);
    return text::ReplaceSubtext(marker, quoteWord, "\"", 1, {}, true);
}

} // namespace

text::Text QuoteWord() {
    return text::Gbk(u8"#引号");
}

text::Text TextAfterLast(std::string_view text, std::string_view marker, bool ignoreCase) {
    const int found = text::FindTextReverse(text, marker, {}, ignoreCase);
    if (found < 0)
        return {};
    return text::Text(text.substr(found - 1 + marker.size()));
}

text::Text TextBetween(std::string_view text, std::string_view front, std::string_view back,
                       bool caseSensitive) {
    const bool ignoreCase = !caseSensitive;
    const text::Text quoteWord = QuoteWord();
    const text::Text frontMarker = WithQuotes(front, quoteWord);
    const text::Text backMarker = WithQuotes(back, quoteWord);
    const int frontAt = text::FindText(text, frontMarker, 1, ignoreCase);
    if (frontAt < 0)
        return {};
    const std::string_view rest = text.substr(frontAt - 1 + frontMarker.size());
    const int backAt = text::FindText(rest, backMarker, 1, ignoreCase);
    if (backAt < 0)
        return {};
    return text::Text(rest.substr(0, backAt - 1));
}

} // namespace text
