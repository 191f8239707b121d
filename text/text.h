#pragma once
// Texts are GBK byte strings: lengths and positions count bytes, positions are
// 1-based and a failed search gives -1. A byte of 0x80 or more leads a
// double-byte character; searches step over such pairs and never start a match
// on a trail byte. Ignoring case folds ASCII A-Z only, as the C locale does;
// bytes of 0x80 or more never fold. A text never holds a NUL byte, and the
// empty text is the absent text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

using Text = std::string;

int TextLength(std::string_view text);
Text TextLeft(std::string_view text, std::int64_t count);
Text TextRight(std::string_view text, std::int64_t count);
Text TextMiddle(std::string_view text, std::int64_t start, std::int64_t count);
Text CharText(int code);

// `start` left out searches the whole text (FindTextReverse: up to its end).
int FindText(std::string_view text, std::string_view sought, std::optional<std::int64_t> start = {},
             bool ignoreCase = false);
int FindTextReverse(std::string_view text, std::string_view sought,
                    std::optional<std::int64_t> start = {}, bool ignoreCase = false);

Text ToUpperCase(std::string_view text);
Text ToLowerCase(std::string_view text);
// Blanks are the ASCII space and the full-width space A1 A1; tabs and line
// breaks are not blanks.
Text TrimSpaces(std::string_view text);
Text RemoveSpaces(std::string_view text);

Text ReplaceRange(std::string_view text, std::int64_t start, std::int64_t length,
                  std::string_view replacement = {});
// Note the flag: case-sensitive here, the opposite sense of FindText's.
Text ReplaceSubtext(std::string_view text, std::string_view sought,
                    std::string_view replacement = {}, std::optional<std::int64_t> start = {},
                    std::optional<std::int64_t> count = {}, bool caseSensitive = false);

Text SpaceText(std::int64_t count);
// -1, 0 or 1 by bytes, a double-byte character as one unit (never folded);
// no language-specific collation.
int CompareText(std::string_view a, std::string_view b, bool caseSensitive = false);
int CompareTextOrdinal(std::string_view a, std::string_view b);

template <typename... Parts> Text JoinTexts(const Parts&... parts) {
    Text joined;
    joined.reserve((std::string_view(parts).size() + ... + 0));
    (joined.append(std::string_view(parts)), ...);
    return joined;
}

// Conversions between values and their text forms.
Text ToText(int value);
Text ToText(std::int64_t value);
Text ToText(bool value);
double ToNumber(std::string_view text);
std::int64_t TruncateToInteger(double value);

// Any byte string made a text: its bytes up to the first NUL.
Text TextFromBytes(std::string_view bytes);

} // namespace text
