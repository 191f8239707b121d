#include "net/address.h"

#include "net/curlhandle.h"
#include "text/text.h"

#include <cstdlib>

namespace net {

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK)
        return {};
    const curl::Text owned(text);
    return text;
}

} // namespace

std::string RequestTarget(std::string_view path) {
    return PercentEncoded(path, [](unsigned char c) { return c <= 0x20 || c == '#' || c >= 0x7F; });
}

std::string EscapeControls(std::string_view text) {
    return PercentEncoded(text, IsControl);
}

std::string Address::Origin() const {
    return (secure ? "https://" : "http://") + host + ":" + std::to_string(port);
}

std::string Address::Url() const {
    return Origin() + RequestTarget(path);
}

std::optional<Address> ParseAddress(std::string_view url, std::string_view base) {
    const std::string text =
        PercentEncoded(url, [](unsigned char c) { return c == ' ' || IsControl(c); });
    const curl::UrlHandle handle(curl_url());
    if (!handle ||
        (!base.empty() &&
         curl_url_set(handle.get(), CURLUPART_URL, std::string(base).c_str(), 0) != CURLUE_OK) ||
        curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_URLENCODE) != CURLUE_OK)
        return std::nullopt;
    const std::string scheme = UrlPart(handle.get(), CURLUPART_SCHEME);
    Address address{scheme == "https", text::ToLowerCase(UrlPart(handle.get(), CURLUPART_HOST)),
                    std::atoi(UrlPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str()),
                    UrlPart(handle.get(), CURLUPART_PATH)};
    if (const std::string query = UrlPart(handle.get(), CURLUPART_QUERY); !query.empty())
        address.path += "?" + query;
    if ((scheme != "http" && scheme != "https") || address.host.empty())
        return std::nullopt;
    return address;
}

} // namespace net
