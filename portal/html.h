#pragma once
// The pieces every page is made of.

#include <cstdint>
#include <string>
#include <string_view>

namespace portal {

// Text made safe to place in HTML text or in a quoted attribute: the markup
// characters become entities, and bytes that are not UTF-8 (and NUL) become
// U+FFFD, so an echoed query can never break the page or its encoding.
std::string HtmlEscape(std::string_view text);

// "512 B", "1.5 KiB", "2.0 MiB".
std::string FormatSize(std::uint64_t bytes);

// A whole UTF-8 page with the portal's style sheet; the title is escaped,
// the body is HTML already.
std::string HtmlDocument(std::string_view title, std::string_view body);

} // namespace portal
