#pragma once
// Cutting pieces out of HTML and status texts between markers.

#include "text/text.h"

#include <string_view>

namespace text {

// "#引号": inside the markers given to TextBetween it stands for a double
// quote, which the markers cannot otherwise hold in the application's sources.
Text QuoteWord();

// What follows the last occurrence of the marker; empty when there is none.
Text TextAfterLast(std::string_view text, std::string_view marker, bool ignoreCase = false);

// What lies between the first occurrence of `front` and the next occurrence
// of `back` after it; empty when either is missing. Note the flag: left out,
// ASCII letters match in either case.
Text TextBetween(std::string_view text, std::string_view front, std::string_view back,
                 bool caseSensitive = false);

} // namespace text
