#include "portal/byterange.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace portal {

namespace {

std::string_view Trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return {};
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

bool StartsWithBytes(std::string_view header) {
    constexpr std::string_view unit = "bytes=";
    if (header.size() < unit.size())
        return false;
    for (std::size_t i = 0; i < unit.size(); ++i)
        if ((header[i] | 0x20) != unit[i])
            return false;
    return true;
}

// Digits only; a number too large for 64 bits stays at the largest, which is
// past the end of every file.
std::optional<std::uint64_t> Number(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const unsigned digit = unsigned(c - '0');
        value = value > (most - digit) / 10 ? most : value * 10 + digit;
    }
    return value;
}

// One "first-last", "first-" or "-suffix"; nothing when malformed.
struct AskedRange {
    std::optional<std::uint64_t> first, last;
};

std::optional<AskedRange> ParseAskedRange(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    const std::string_view before = text.substr(0, dash), after = text.substr(dash + 1);
    AskedRange asked{Number(before), Number(after)};
    if ((!before.empty() && !asked.first) || (!after.empty() && !asked.last) ||
        (!asked.first && !asked.last) || (asked.first && asked.last && *asked.last < *asked.first))
        return std::nullopt;
    return asked;
}

} // namespace

RangeAnswer AnswerRange(std::string_view header, std::uint64_t size) {
    const RangeAnswer whole{RangeAnswer::Whole, {0, size}};
    const RangeAnswer refused{RangeAnswer::Refused, {}};
    header = Trimmed(header);
    if (header.empty())
        return whole;
    if (header.find('=') == std::string_view::npos)
        return refused; // no unit at all
    if (!StartsWithBytes(header))
        return whole;                // a unit of its own
    std::optional<AskedRange> first; // of the ranges listed
    std::size_t count = 0;
    for (std::string_view list = header.substr(6);;) {
        const std::size_t comma = list.find(',');
        const std::string_view item = Trimmed(list.substr(0, comma));
        if (!item.empty()) {
            const std::optional<AskedRange> asked = ParseAskedRange(item);
            if (!asked)
                return refused;
            first = first ? first : asked;
            ++count;
        }
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    if (count != 1)
        return count == 0 ? refused : whole;
    const AskedRange& asked = *first;
    if (!asked.first) { // the last `suffix` bytes
        if (*asked.last == 0 || size == 0)
            return refused;
        const std::uint64_t length = std::min(*asked.last, size);
        return {RangeAnswer::Part, {size - length, length}};
    }
    if (*asked.first >= size)
        return refused;
    const std::uint64_t last = std::min(asked.last.value_or(size - 1), size - 1);
    return {RangeAnswer::Part, {*asked.first, last - *asked.first + 1}};
}

} // namespace portal
