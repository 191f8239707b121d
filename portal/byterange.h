#pragma once
// What a request's Range header asks of a file, decided before any byte is
// read: the whole file, one part of it, or a refusal (416).

#include <cstdint>
#include <string_view>

namespace portal {

struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t length = 0;
};

struct RangeAnswer {
    enum Kind { Whole, Part, Refused } kind = Whole;
    ByteRange range; // the bytes to send, also for Whole
};

// The answer to `header` (empty when the request has none) for a file of
// `size` bytes. Ranges in another unit, and several ranges at once (never
// sent by a browser), are ignored: the whole file is sent, as servers may.
// A malformed range, or one that starts past the end, is refused; a range
// that runs past the end is cut there.
RangeAnswer AnswerRange(std::string_view header, std::uint64_t size);

} // namespace portal
