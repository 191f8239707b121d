#pragma once
// Slow, literal forms of the byte-walking searches, for checking the fast
// ones: walk the window a character at a time and compare at every step.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace reference {

inline char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool MatchesAt(std::string_view text, std::size_t at, std::string_view sought,
                      bool ignoreCase) {
    for (std::size_t i = 0; i < sought.size(); ++i) {
        const char a = text[at + i];
        const char b = sought[i];
        if (ignoreCase ? Lower(a) != Lower(b) : a != b)
            return false;
    }
    return true;
}

inline std::size_t Step(std::string_view text, std::size_t at) {
    return static_cast<unsigned char>(text[at]) >= 0x80 ? 2 : 1;
}

inline std::int64_t StartOffset(std::optional<std::int64_t> start, std::int64_t otherwise) {
    return start ? (*start - 1 < 0 ? 0 : *start - 1) : otherwise;
}

inline int Find(std::string_view text, std::string_view sought, std::optional<std::int64_t> start,
                bool ignoreCase, bool reverse) {
    const auto len = static_cast<std::int64_t>(text.size());
    const std::int64_t s = StartOffset(start, reverse ? len : 0);
    const std::int64_t begin = reverse ? 0 : s;
    const std::int64_t end = reverse ? (s < len ? s : len) : len;
    if (begin >= end)
        return -1;
    if (sought.empty())
        return 1;
    int last = -1;
    for (auto at = static_cast<std::size_t>(begin);
         at + sought.size() <= static_cast<std::size_t>(end); at += Step(text, at)) {
        if (MatchesAt(text, at, sought, ignoreCase)) {
            if (!reverse)
                return static_cast<int>(at + 1);
            last = static_cast<int>(at + 1);
        }
    }
    return last;
}

inline std::string Replace(std::string_view text, std::string_view sought,
                           std::string_view replacement, std::optional<std::int64_t> start,
                           std::optional<std::int64_t> count, bool caseSensitive) {
    const auto s = static_cast<std::size_t>(StartOffset(start, 0));
    const std::int64_t limit = count.value_or(-1);
    if (text.empty() || sought.empty() || s >= text.size() || limit == 0)
        return std::string(text);
    std::string out(text.substr(0, s));
    std::size_t at = s;
    std::int64_t done = 0;
    while (at + sought.size() <= text.size()) {
        if (MatchesAt(text, at, sought, !caseSensitive)) {
            out.append(replacement);
            at += sought.size();
            if (++done == limit)
                break;
        } else {
            const std::size_t step = Step(text, at);
            if (at + step > text.size())
                break;
            out.append(text.substr(at, step));
            at += step;
        }
    }
    out.append(text.substr(at));
    return out;
}

} // namespace reference
