#include "text/text.h"

#include "text/codepage.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace text {
namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr bool IsLead(char byte) {
    return static_cast<unsigned char>(byte) >= 0x80;
}

// Case is ignored the way the C locale lowers bytes: only A-Z fold, bytes of
// 0x80 or more never do, whatever character they belong to.
constexpr char Fold(char byte) {
    return static_cast<unsigned char>(byte - 'A') < 26 ? static_cast<char>(byte | 0x20) : byte;
}

constexpr char Unfold(char byte) {
    return static_cast<unsigned char>(byte - 'a') < 26 ? static_cast<char>(byte & ~0x20) : byte;
}

std::size_t CharLength(std::string_view text, std::size_t at) {
    return IsLead(text[at]) && at + 1 < text.size() ? 2 : 1;
}

std::size_t Offset(std::int64_t position, std::size_t length) {
    return position <= 1 ? 0 : std::min<std::uint64_t>(position - 1, length);
}

std::size_t Count(std::int64_t count) {
    return count <= 0 ? 0 : static_cast<std::size_t>(count);
}

int Position(std::size_t offset) {
    return offset == npos ? -1 : static_cast<int>(offset + 1);
}

bool EqualFolded(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

bool HasLetter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return Fold(c) != Unfold(c); });
}

std::size_t FindExact(std::string_view text, std::size_t from, std::string_view sought) {
    const void* hit = memmem(text.data() + from, text.size() - from, sought.data(), sought.size());
    return hit ? static_cast<const char*>(hit) - text.data() : npos;
}

#if defined(__SSE2__)
// A-Z of sixteen bytes lowered: A-Z shifted to the bottom of the signed range
// are the bytes below -128 + 26.
__m128i FoldBlock(__m128i bytes) {
    const __m128i shifted = _mm_add_epi8(bytes, _mm_set1_epi8(static_cast<char>(0x80 - 'A')));
    const __m128i upper = _mm_cmplt_epi8(shifted, _mm_set1_epi8(-128 + 26));
    return _mm_or_si128(bytes, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}
#endif

// Candidates are the offsets whose first and last sought bytes match once
// folded; sixteen of them are tested at a time.
std::size_t FindFolded(std::string_view text, std::size_t from, std::string_view sought) {
    const std::size_t n = sought.size();
    const char* data = text.data();
    const char first = Fold(sought.front());
    const char last = Fold(sought.back());
    std::size_t at = from;
#if defined(__SSE2__)
    const __m128i firsts = _mm_set1_epi8(first);
    const __m128i lasts = _mm_set1_epi8(last);
    for (; at + n - 1 + 16 <= text.size(); at += 16) {
        const __m128i heads =
            FoldBlock(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)));
        const __m128i tails =
            FoldBlock(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + n - 1)));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(heads, firsts), _mm_cmpeq_epi8(tails, lasts))));
        for (; mask != 0; mask &= mask - 1) {
            const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(mask));
            if (EqualFolded(data + candidate, sought.data(), n))
                return candidate;
        }
    }
#endif
    for (; at + n <= text.size(); ++at)
        if (Fold(data[at]) == first && EqualFolded(data + at, sought.data(), n))
            return at;
    return npos;
}

// Tells which offsets start a character for a walk that began at a known
// start, stepping two bytes over a byte of 0x80 or more. Queries must not go
// backwards, which keeps a whole search linear: only the run of such bytes
// since the last known start is looked at.
class CharStarts final {
  public:
    explicit CharStarts(std::string_view text, std::size_t start) : text_(text), known_(start) {}

    void Restart(std::size_t start) { known_ = start; }

    bool IsStart(std::size_t offset) {
        std::size_t runStart = offset;
        while (runStart > known_ && IsLead(text_[runStart - 1]))
            --runStart;
        const bool isStart = (offset - runStart) % 2 == 0;
        known_ = isStart ? offset : offset + 1;
        return isStart;
    }

  private:
    std::string_view text_;
    std::size_t known_;
};

// The first occurrence at or after `from` that starts a character, or npos.
class Finder final {
  public:
    Finder(std::string_view text, std::size_t start, std::string_view sought, bool ignoreCase)
        : text_(text), sought_(sought), folded_(ignoreCase && HasLetter(sought)),
          starts_(text, start) {}

    void Restart(std::size_t start) { starts_.Restart(start); }

    std::size_t Next(std::size_t from) {
        while (from + sought_.size() <= text_.size()) {
            const std::size_t candidate =
                folded_ ? FindFolded(text_, from, sought_) : FindExact(text_, from, sought_);
            if (candidate == npos || starts_.IsStart(candidate))
                return candidate;
            from = candidate + 1;
        }
        return npos;
    }

  private:
    std::string_view text_;
    std::string_view sought_;
    bool folded_;
    CharStarts starts_;
};

template <typename Transform> Text MapSingleBytes(std::string_view text, Transform transform) {
    Text mapped(text);
    for (std::size_t at = 0; at < mapped.size(); at += CharLength(mapped, at))
        mapped[at] = transform(mapped[at]);
    return mapped;
}

bool IsFullWidthSpace(std::string_view text, std::size_t at) {
    return text.substr(at, 2) == "\xA1\xA1";
}

// The length of the blank (an ASCII or a full-width space) at `at`, or 0.
std::size_t BlankLength(std::string_view text, std::size_t at) {
    return text[at] == ' ' ? 1 : IsFullWidthSpace(text, at) ? 2 : 0;
}

// Full-width ASCII forms and a few look-alikes, folded for reading numbers.
Text FoldFullWidth(std::string_view text) {
    Text folded;
    folded.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = CharLength(text, at);
        const auto lead = static_cast<unsigned char>(text[at]);
        const auto trail = length == 2 ? static_cast<unsigned char>(text[at + 1]) : 0;
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE)
            folded += static_cast<char>(trail - 0x80);
        else if (lead == 0xA1 && trail == 0xA1)
            folded += ' ';
        else if (lead == 0xA1 && trail == 0xAB)
            folded += '~';
        else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF))
            folded += '*';
        else
            folded.append(text.substr(at, length));
        at += length;
    }
    return folded;
}

} // namespace

int TextLength(std::string_view text) {
    return static_cast<int>(std::min<std::size_t>(text.size(), std::numeric_limits<int>::max()));
}

Text TextLeft(std::string_view text, std::int64_t count) {
    return Text(text.substr(0, Count(count)));
}

Text TextRight(std::string_view text, std::int64_t count) {
    return Text(text.substr(text.size() - std::min(Count(count), text.size())));
}

Text TextMiddle(std::string_view text, std::int64_t start, std::int64_t count) {
    if (start < 1 || static_cast<std::uint64_t>(start) > text.size())
        return {};
    return Text(text.substr(static_cast<std::size_t>(start - 1), Count(count)));
}

Text CharText(int code) {
    const char byte = static_cast<char>(code);
    return byte == '\0' ? Text() : Text(1, byte);
}

int FindText(std::string_view text, std::string_view sought, std::optional<std::int64_t> start,
             bool ignoreCase) {
    const std::size_t from = start ? Offset(*start, text.size()) : 0;
    if (from >= text.size())
        return -1;
    if (sought.empty())
        return 1;
    return Position(Finder(text, from, sought, ignoreCase).Next(from));
}

int FindTextReverse(std::string_view text, std::string_view sought,
                    std::optional<std::int64_t> start, bool ignoreCase) {
    const std::string_view window = text.substr(0, start ? Offset(*start, text.size()) : npos);
    if (window.empty())
        return -1;
    if (sought.empty())
        return 1;
    Finder finder(window, 0, sought, ignoreCase);
    std::size_t last = npos;
    for (std::size_t found = finder.Next(0); found != npos; found = finder.Next(found + 1))
        last = found;
    return Position(last);
}

Text ToUpperCase(std::string_view text) {
    return MapSingleBytes(text, Unfold);
}

Text ToLowerCase(std::string_view text) {
    return MapSingleBytes(text, Fold);
}

Text TrimSpaces(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size() && BlankLength(text, begin) != 0)
        begin += BlankLength(text, begin);
    // Walk forward: a trailing A1 A1 may be the end of one character and a
    // lone lead byte.
    std::size_t end = begin;
    for (std::size_t at = begin; at < text.size();) {
        const std::size_t blank = BlankLength(text, at);
        at += blank != 0 ? blank : CharLength(text, at);
        if (blank == 0)
            end = at;
    }
    return Text(text.substr(begin, end - begin));
}

Text RemoveSpaces(std::string_view text) {
    Text kept;
    kept.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t blank = BlankLength(text, at);
        const std::size_t length = blank != 0 ? blank : CharLength(text, at);
        if (blank == 0)
            kept.append(text.substr(at, length));
        at += length;
    }
    return kept;
}

Text ReplaceRange(std::string_view text, std::int64_t start, std::int64_t length,
                  std::string_view replacement) {
    const std::size_t at = Offset(start, text.size());
    const std::size_t removed = std::min(Count(length), text.size() - at);
    return JoinTexts(text.substr(0, at), replacement, text.substr(at + removed));
}

Text ReplaceSubtext(std::string_view text, std::string_view sought, std::string_view replacement,
                    std::optional<std::int64_t> start, std::optional<std::int64_t> count,
                    bool caseSensitive) {
    const std::size_t from = start ? Offset(*start, text.size()) : 0;
    const std::int64_t limit = count.value_or(-1);
    if (text.empty() || sought.empty() || from >= text.size() || limit == 0)
        return Text(text);
    Text replaced;
    replaced.reserve(text.size());
    replaced.append(text.substr(0, from));
    Finder finder(text, from, sought, !caseSensitive);
    std::size_t copied = from;
    std::int64_t done = 0;
    for (std::size_t found = finder.Next(from); found != npos; found = finder.Next(copied)) {
        replaced.append(text.substr(copied, found - copied)).append(replacement);
        copied = found + sought.size();
        finder.Restart(copied);
        if (++done == limit)
            break;
    }
    replaced.append(text.substr(copied));
    return replaced;
}

Text SpaceText(std::int64_t count) {
    return Text(Count(count), ' ');
}

int CompareText(std::string_view a, std::string_view b, bool caseSensitive) {
    // Equal bytes so far put the character boundaries at the same places in
    // both texts; only single-byte characters fold.
    bool trail = false;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const bool fold = !caseSensitive && !trail;
        const auto x = static_cast<unsigned char>(fold ? Fold(a[i]) : a[i]);
        const auto y = static_cast<unsigned char>(fold ? Fold(b[i]) : b[i]);
        if (x != y)
            return x < y ? -1 : 1;
        trail = !trail && IsLead(a[i]);
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

int CompareTextOrdinal(std::string_view a, std::string_view b) {
    const int order = a.compare(b);
    return (order > 0) - (order < 0);
}

Text ToText(int value) {
    return std::to_string(value);
}

Text ToText(std::int64_t value) {
    return std::to_string(value);
}

Text ToText(bool value) {
    return Gbk(value ? u8"真" : u8"假");
}

double ToNumber(std::string_view text) {
    const Text folded = FoldFullWidth(text);
    std::string_view rest = folded;
    rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(" \t\n\v\f\r")));
    const bool negative = !rest.empty() && rest.front() == '-';
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+'))
        rest.remove_prefix(1);
    // Only decimal numbers: no "inf", "nan" or hexadecimal forms.
    const std::size_t digit = rest.find_first_of("0123456789");
    if (digit != 0 && !(digit == 1 && rest.front() == '.'))
        return 0;
    double value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error == std::errc::result_out_of_range) {
        const std::string_view number(rest.data(), end - rest.data());
        const std::size_t exponent = number.find_first_of("eE");
        const bool tiny = exponent != npos && number.substr(exponent + 1, 1) == "-";
        value = tiny ? 0 : HUGE_VAL;
    }
    return negative ? -value : value;
}

std::int64_t TruncateToInteger(double value) {
    // Out of range and NaN give what the processor's truncating conversion
    // gives, the smallest integer, rather than undefined behaviour.
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!(value >= -limit && value < limit))
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

Text TextFromBytes(std::string_view bytes) {
    return Text(bytes.substr(0, bytes.find('\0')));
}

} // namespace text
