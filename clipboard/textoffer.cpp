#include "clipboard/textoffer.h"

#include <cstring>
#include <initializer_list>

namespace clipboard {

namespace {

std::string Items32(std::initializer_list<std::uint32_t> items) {
    std::string bytes(items.size() * sizeof(std::uint32_t), '\0');
    std::memcpy(bytes.data(), std::data(items), bytes.size());
    return bytes;
}

// STRING is Latin-1 by definition and TEXT lets the owner pick the encoding.
// A text that does not fit Latin-1 goes out as UTF-8 and says so in its type:
// a careful client decodes it right, and the careless ones, which take the
// bytes as they come, show it right in today's UTF-8 locales. Question marks
// instead of the Chinese would help nobody.
Reply Legacy(const TargetAtoms& atoms, std::string_view utf8) {
    if (std::optional<std::string> latin1 = Latin1FromUtf8(utf8))
        return {atoms.string, 8, std::move(*latin1)};
    return {atoms.utf8String, 8, std::string(utf8)};
}

} // namespace

std::optional<Reply> OfferText(const TargetAtoms& atoms, xcb_atom_t target, std::string_view utf8,
                               xcb_timestamp_t acquired) {
    if (target == atoms.targets)
        return Reply{atoms.atom, 32,
                     Items32({atoms.targets, atoms.timestamp, atoms.utf8String, atoms.textPlainUtf8,
                              atoms.string, atoms.text})};
    if (target == atoms.timestamp)
        return Reply{atoms.integer, 32, Items32({acquired})};
    if (target == atoms.utf8String || target == atoms.textPlainUtf8)
        return Reply{target, 8, std::string(utf8)};
    if (target == atoms.string || target == atoms.text)
        return Legacy(atoms, utf8);
    return std::nullopt;
}

std::optional<std::string> Latin1FromUtf8(std::string_view utf8) {
    std::string latin1;
    latin1.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            latin1 += static_cast<char>(lead);
            continue;
        }
        // U+0080 to U+00FF are the two-byte sequences led by C2 and C3.
        if ((lead != 0xC2 && lead != 0xC3) || i + 1 == utf8.size())
            return std::nullopt;
        const auto trail = static_cast<unsigned char>(utf8[++i]);
        if ((trail & 0xC0) != 0x80)
            return std::nullopt;
        latin1 += static_cast<char>(((lead & 0x03) << 6) | (trail & 0x3F));
    }
    return latin1;
}

} // namespace clipboard
