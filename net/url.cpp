#include "net/url.h"

namespace net {

using namespace text;

Text UrlHost(std::string_view url) {
    Text rest = ReplaceSubtext(url, "https://", {}, {}, {}, true);
    rest = ReplaceSubtext(rest, "http://", {}, {}, {}, true);
    if (const int slash = FindText(rest, "/"); slash != -1)
        rest = TextLeft(rest, slash - 1);
    if (const int colon = FindText(rest, ":"); colon != -1)
        rest = TextLeft(rest, colon - 1);
    return ToLowerCase(rest);
}

Text UrlPath(std::string_view url) {
    const int hostAt = FindText(url, UrlHost(url), 1, true);
    const int slash = FindText(url, "/", hostAt == -1 ? 1 : hostAt);
    if (slash == -1)
        return "/";
    return TextRight(url, TextLength(url) - slash + 1);
}

int UrlPort(std::string_view url) {
    Text authority;
    if (CompareText(TextLeft(url, 7), "http://") == 0) {
        const int slash = FindText(url, "/", 8);
        authority = slash != -1 ? TextMiddle(url, 8, slash - 8) : ReplaceRange(url, 1, 7);
    } else {
        const int slash = FindText(url, "/");
        authority = slash != -1 ? TextLeft(url, slash - 1) : Text(url);
    }
    const int colon = FindText(authority, ":");
    const Text portText = colon != -1 ? TextRight(authority, TextLength(authority) - colon) : "80";
    // Like the 32-bit integer the port is kept in, larger numbers wrap.
    return static_cast<int>(TruncateToInteger(ToNumber(portText)));
}

} // namespace net
