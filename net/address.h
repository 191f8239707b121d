#pragma once
// Where a request goes, read once from its address, and the escaping that
// keeps what goes on the wire valid.

#include <optional>
#include <string>
#include <string_view>

namespace net {

// Where one request goes. The path (query included) stays as it was given;
// the bytes that cannot stand in a request target are escaped on the wire.
struct Address {
    bool secure = false;
    std::string host;
    int port = 80;
    std::string path = "/";

    std::string Origin() const; // "scheme://host:port"
    std::string Url() const;    // the origin and the escaped path
};

// An http or https address with a host, `url` read against `base` when one is
// given; none for anything else. Controls and blanks are escaped first: later
// libcurl refuses a literal space that earlier ones took.
std::optional<Address> ParseAddress(std::string_view url, std::string_view base = {});

// `text` with the bytes that `escaped` picks percent-encoded, in upper-case
// hex.
template <typename Escaped> std::string PercentEncoded(std::string_view text, Escaped escaped) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (const unsigned char c : text) {
        if (escaped(c))
            result.append({'%', Hex[c >> 4], Hex[c & 0xF]});
        else
            result += static_cast<char>(c);
    }
    return result;
}

// The path as it goes into the request line: controls, the blank, "#"
// (which would cut the target short) and every byte from 0x80 up (a GBK
// info-hash, say) percent-encoded.
std::string RequestTarget(std::string_view path);
// Control bytes percent-encoded.
std::string EscapeControls(std::string_view text);

} // namespace net
