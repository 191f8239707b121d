#include "text/markers.h"

#include "text/codepage.h"

namespace text {
namespace {

host::Text WithQuotes(std::string_view marker, const host::Text& quoteWord) {
    if (host::FindText(marker, quoteWord) < 0)
        return host::Text(marker);
    return host::ReplaceSubtext(marker, quoteWord, "\"", 1, {}, true);
}

} // namespace

host::Text QuoteWord() {
    return host::Gbk(u8"#引号");
}

host::Text TextAfterLast(std::string_view text, std::string_view marker, bool ignoreCase) {
    const int found = host::FindTextReverse(text, marker, {}, ignoreCase);
    if (found < 0)
        return {};
    return host::Text(text.substr(found - 1 + marker.size()));
}

host::Text TextBetween(std::string_view text, std::string_view front, std::string_view back,
                       bool caseSensitive) {
    const bool ignoreCase = !caseSensitive;
    const host::Text quoteWord = QuoteWord();
    const host::Text frontMarker = WithQuotes(front, quoteWord);
    const host::Text backMarker = WithQuotes(back, quoteWord);
    const int frontAt = host::FindText(text, frontMarker, 1, ignoreCase);
    if (frontAt < 0)
        return {};
    const std::string_view rest = text.substr(frontAt - 1 + frontMarker.size());
    const int backAt = host::FindText(rest, backMarker, 1, ignoreCase);
    if (backAt < 0)
        return {};
    return host::Text(rest.substr(0, backAt - 1));
}

} // namespace text
