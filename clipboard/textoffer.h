#pragma once
// The forms in which the clipboard keeper offers its text to the programs
// that paste it.

#include <xcb/xproto.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clipboard {

// The targets the text is offered as, and the types the replies carry.
struct TargetAtoms {
    xcb_atom_t targets;
    xcb_atom_t timestamp;
    xcb_atom_t utf8String;
    xcb_atom_t textPlainUtf8;
    xcb_atom_t string;
    xcb_atom_t text;
    xcb_atom_t atom;
    xcb_atom_t integer;
};

// What a request is answered with: the property's type, its format (8 or 32
// bits per item) and its items as bytes in the host's order.
struct Reply {
    xcb_atom_t type;
    std::uint8_t format;
    std::string bytes;
};

// The reply for `target`; nothing for a target the text is not offered as.
// `acquired` is the time the clipboard was taken.
std::optional<Reply> OfferText(const TargetAtoms& atoms, xcb_atom_t target, std::string_view utf8,
                               xcb_timestamp_t acquired);

// The text in Latin-1; nothing when a character lies outside it or the UTF-8
// is broken.
std::optional<std::string> Latin1FromUtf8(std::string_view utf8);

} // namespace clipboard
