#pragma once
// Taking a URL apart for the web request routine. The three splits are plain
// text operations that validate nothing: every input yields some host, path
// and port, and they do not agree on every odd input (see the tests).

#include "text/text.h"

#include <string_view>

namespace net {

// The host name in small letters, without scheme, port and path. Only the
// exact lower-case schemes are removed (anywhere in the text); user
// information is not recognised.
text::Text UrlHost(std::string_view url);

// From the first "/" at or after the first occurrence of the host (which may
// lie inside the scheme) to the end, query and fragment included; "/" when
// there is none.
text::Text UrlPath(std::string_view url);

// The number after the first ":" of the authority, 80 when there is no ":",
// 0 when no number follows it. Only "http://" (any letter case) is skipped as
// a scheme, so every "https://" address gives 0.
int UrlPort(std::string_view url);

} // namespace net
