#include "text/byteset.h"

#include <algorithm>
#include <limits>

namespace text {

int ByteSetLength(const ByteSet& bytes) {
    return static_cast<int>(std::min<std::size_t>(bytes.size(), std::numeric_limits<int>::max()));
}

ByteSet ByteSetLeft(const ByteSet& bytes, std::int64_t count) {
    const auto kept = static_cast<std::size_t>(
        std::clamp<std::int64_t>(count, 0, static_cast<std::int64_t>(bytes.size())));
    return ByteSet(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept));
}

ByteSet ZeroByteSet(std::int64_t count) {
    return ByteSet(count <= 0 ? 0 : static_cast<std::size_t>(count), 0);
}

Text ToText(const ByteSet& bytes) {
    return TextFromBytes(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

ByteSet ToByteSet(std::string_view text) {
    // As bytes of the set's own type, so that this is one block copy.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return ByteSet(bytes, bytes + text.size());
}

} // namespace text
