#include "text/markers.h"

#include "text/codepage.h"

namespace text {
namespace {

Text WithQuotes(std::string_view marker, const Text& quoteWord) {
    if (FindText(marker, quoteWord) < 0)
        return Text(marker);
    return ReplaceSubtext(marker, quoteWord, "\"", 1, {}, true);
}

} // namespace

Text QuoteWord() {
    return Gbk(u8"#引号");
}

Text TextAfterLast(std::string_view text, std::string_view marker, bool ignoreCase) {
    const int found = FindTextReverse(text, marker, {}, ignoreCase);
    if (found < 0)
        return {};
    return Text(text.substr(found - 1 + marker.size()));
}

Text TextBetween(std::string_view text, std::string_view front, std::string_view back,
                 bool caseSensitive) {
    const bool ignoreCase = !caseSensitive;
    const Text quoteWord = QuoteWord();
    const Text frontMarker = WithQuotes(front, quoteWord);
    const Text backMarker = WithQuotes(back, quoteWord);
    const int frontAt = FindText(text, frontMarker, 1, ignoreCase);
    if (frontAt < 0)
        return {};
    const std::string_view rest = text.substr(frontAt - 1 + frontMarker.size());
    const int backAt = FindText(rest, backMarker, 1, ignoreCase);
    if (backAt < 0)
        return {};
    return Text(rest.substr(0, backAt - 1));
}

} // namespace text
