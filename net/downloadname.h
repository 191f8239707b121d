#pragma once
// The file name a download proposes to the user. Both sources are chosen by
// the server, so the result is cleaned until it can only name a file in the
// folder the user picks.

#include <string>
#include <string_view>

namespace net {

// From the Content-Disposition header (filename*=UTF-8'' before filename=)
// when it names a usable file, else from the last path segment of `url`. Percent
// escapes are decoded; bytes that are not UTF-8 are read as GBK. Path
// separators and control characters are removed, leading and trailing dots
// and spaces trimmed (so ".." and "." name nothing), an overlong name cut;
// "download" when nothing is left. The result is UTF-8.
std::string SuggestedFileName(std::string_view url, std::string_view contentDisposition = {});

// A name that someone else has already read out of the response (UTF-8,
// escapes resolved), cleaned the same way.
std::string CleanedFileName(std::string_view name);

} // namespace net
