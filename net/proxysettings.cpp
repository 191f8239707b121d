#include "net/proxysettings.h"

#include "net/address.h"
#include "text/text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>

namespace net {

namespace {

// The value of an environment variable under its name, else under the name
// in the other case; as in the browser, a variable that is set counts even
// when it is empty.
std::string Variable(const ProxySettings::Lookup& variable, const std::string& name) {
    const char* value = variable(name.c_str());
    if (!value)
        value = variable(
            (name[0] >= 'a' && name[0] <= 'z' ? text::ToUpperCase(name) : text::ToLowerCase(name))
                .c_str());
    return value ? text::TrimSpaces(value) : std::string();
}

// A proxy as the browser reads it from a variable: the scheme it is written
// with, if any, is dropped, and the proxy is of the kind the variable says.
// An http proxy without a port is on port 80; a SOCKS5 proxy looks up names
// itself, as it does for the browser.
std::string ProxyUrl(std::string_view value, std::string_view kind = "http://") {
    if (const std::size_t scheme = value.find("://"); scheme != std::string_view::npos)
        value.remove_prefix(scheme + 3);
    value = value.substr(0, value.find('/'));
    const std::size_t at = value.rfind('@'), host = at == std::string_view::npos ? 0 : at + 1;
    if (host == value.size())
        return {};
    const std::size_t colon = value.rfind(':'), bracket = value.rfind(']');
    const bool port = colon != std::string_view::npos && colon > host &&
                      (bracket == std::string_view::npos || colon > bracket);
    return std::string(kind) + std::string(value) + (port || kind != "http://" ? "" : ":80");
}

bool IsLoopbackOrLinkLocal(std::string_view host) {
    return host == "localhost" || host.ends_with(".localhost") || host.starts_with("127.") ||
           host == "[::1]" || host.starts_with("169.254.") || host.starts_with("[fe80:");
}

// Whether `host`, an address ("[...]" for IPv6), lies in `range`, written
// "address/bits"; names never do.
bool InRange(std::string_view host, std::string_view range) {
    if (host.starts_with('[') && host.ends_with(']'))
        host = host.substr(1, host.size() - 2);
    const std::size_t slash = range.find('/');
    const std::string address(host), base(range.substr(0, slash));
    const int family = base.find(':') == std::string::npos ? AF_INET : AF_INET6;
    const int size = family == AF_INET ? 4 : 16;
    const std::string_view length = range.substr(slash + 1);
    int bits = -1;
    std::from_chars(length.data(), length.data() + length.size(), bits);
    unsigned char a[16], b[16];
    if (bits < 0 || bits > 8 * size || inet_pton(family, address.c_str(), a) != 1 ||
        inet_pton(family, base.c_str(), b) != 1)
        return false;
    for (int i = 0; i < size; ++i)
        if ((a[i] ^ b[i]) & (0xFF00 >> std::clamp(bits - 8 * i, 0, 8)))
            return false;
    return true;
}

} // namespace

ProxySettings ProxySettings::FromEnvironment(const Lookup& variable) {
    ProxySettings settings;
    settings.http = settings.https = ProxyUrl(Variable(variable, "all_proxy"));
    if (settings.http.empty()) {
        settings.http = ProxyUrl(Variable(variable, "http_proxy"));
        settings.https = ProxyUrl(Variable(variable, "https_proxy"));
    }
    // Without any of those, the desktop's SOCKS server serves both.
    if (settings.http.empty() && settings.https.empty()) {
        const std::string socks = Variable(variable, "SOCKS_SERVER");
        settings.http = settings.https =
            ProxyUrl(socks, text::ToLowerCase(socks).starts_with("socks4://") ||
                                    Variable(variable, "SOCKS_VERSION") == "4"
                                ? "socks4://"
                                : "socks5h://");
    }
    const std::string noProxy = Variable(variable, "no_proxy");
    std::string_view rules = noProxy;
    for (std::string_view rule; !rules.empty(); rules.remove_prefix(rule.size())) {
        rules.remove_prefix(std::min(rules.find_first_not_of(", \t"), rules.size()));
        rule = rules.substr(0, rules.find_first_of(", \t"));
        if (rule == "<-loopback>")
            settings.bypassLoopback = false;
        else if (!rule.empty())
            settings.bypass.push_back(text::ToLowerCase(rule));
    }
    return settings;
}

// Rules match the end of the host name, as the browser reads the variable:
// "example.com" and ".example.com" alike cover www.example.com; a rule with
// a "/" is a range of addresses.
std::string ProxySettings::For(const Address& to) const {
    const std::string& proxy = to.secure ? https : http;
    if (proxy.empty() || (bypassLoopback && IsLoopbackOrLinkLocal(to.host)))
        return {};
    for (std::string_view rule : bypass) {
        if (rule == "*" || (rule == "<local>" && to.host.find_first_of(".:") == std::string::npos))
            return {};
        if (rule.find('/') != std::string_view::npos) {
            if (InRange(to.host, rule))
                return {};
            continue;
        }
        const std::size_t colon = rule.rfind(':');
        if (colon != std::string_view::npos && rule.find(']', colon) == std::string_view::npos) {
            if (rule.substr(colon + 1) != std::to_string(to.port))
                continue;
            rule = rule.substr(0, colon);
        }
        if (rule.starts_with('*'))
            rule.remove_prefix(1);
        if (!rule.empty() && to.host.ends_with(rule))
            return {};
    }
    return proxy;
}

} // namespace net
