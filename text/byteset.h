#pragma once
// A byte set is a counted byte buffer, the result type of web requests. Its
// text form is its bytes up to the first zero byte.

#include "text/text.h"

#include <cstdint>
#include <vector>

namespace text {

using ByteSet = std::vector<std::uint8_t>;

int ByteSetLength(const ByteSet& bytes);
ByteSet ByteSetLeft(const ByteSet& bytes, std::int64_t count);
ByteSet ZeroByteSet(std::int64_t count);

Text ToText(const ByteSet& bytes);
ByteSet ToByteSet(std::string_view text);

} // namespace text
