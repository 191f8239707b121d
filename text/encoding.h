#pragma once
// Re-encoding texts between code pages, the way the Windows conversion
// functions do it with their default flags. None of them fails: an empty or
// unconvertible input gives the empty result.

#include "text/byteset.h"
#include "text/codepage.h"
#include "text/text.h"

#include <string_view>

namespace text {

// Invalid UTF-8 reads as U+FFFD, which GBK writes as '?', like every
// character it lacks.
Text Utf8ToGbk(std::string_view text);
Text Big5ToSimplifiedGbk(std::string_view text);

// Little-endian UTF-16 units with a closing zero unit; empty for the empty
// text or an unknown code page.
ByteSet CodePageToUtf16(std::string_view text, int codePage = Utf8CodePage);
// The units up to the first zero unit; characters the code page lacks
// become '?'.
Text Utf16ToCodePage(const ByteSet& buffer, int codePage = AnsiCodePage);

// Ends before the first character that GBK lacks.
Text Big5ToGbk(std::string_view text);
// Traditional characters become their simplified forms where these take as
// many bytes; the result is as long as the text. When the mapping cannot be
// done at all, the result is as many spaces.
Text ToSimplifiedChinese(std::string_view text);

} // namespace text
