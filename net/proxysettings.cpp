#include "net/proxysettings.h"

#include "net/address.h"
#include "text/text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <charconv>
#include <optional>

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
    return value ? value : "";
}

std::string_view TrimBlanks(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    return text.substr(0, text.find_last_not_of(" \t") + 1);
}

// A port as the browser reads it: up to five digits after leading zeros,
// at most 65535.
std::optional<int> Port(std::string_view digits) {
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    int port = 0;
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::from_chars(digits.data(), digits.data() + digits.size(), port);
    return port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

// A host name with its escapes resolved, or none when the browser would not
// take it: a control character or one of "/?\\^~", written or escaped, a
// "%" without two hex digits, or nothing at all. The browser takes other
// odd characters, and so fails to reach the proxy, as the program does.
std::optional<std::string> HostName(std::string_view host) {
    std::string name;
    for (std::size_t at = 0; at < host.size(); ++at) {
        unsigned char c = static_cast<unsigned char>(host[at]);
        if (c == '%') {
            if (at + 2 >= host.size() ||
                std::from_chars(host.data() + at + 1, host.data() + at + 3, c, 16).ptr !=
                    host.data() + at + 3)
                return std::nullopt;
            at += 2;
        }
        if (c < 0x20 || c == 0x7F ||
            std::string_view("/?\\^~").find(static_cast<char>(c)) != std::string_view::npos)
            return std::nullopt;
        name += static_cast<char>(c);
    }
    if (name.empty())
        return std::nullopt;
    return name;
}

// Credentials as a URL carries them: whatever would break the URL escaped.
std::string Escaped(std::string_view credentials) {
    return PercentEncoded(credentials, [](unsigned char c) {
        return !std::isalnum(c) &&
               std::string_view("-._~!$&'()*+,;=:%").find(static_cast<char>(c)) ==
                   std::string_view::npos;
    });
}

// A proxy as the browser reads it from a variable, "kind://host:port", or
// empty when the browser ignores the variable (and so goes direct): the
// scheme written before "://" and the credentials before the first "@" are
// set aside, and one trailing "/"; what is left must be a host with an
// optional port, nothing more (a line break, a path, a second "@" or a port
// beyond 65535 make the whole variable void). An IPv6 address may come
// without its brackets. The credentials, which the browser asks the user
// for instead, stay for the program's requests. The kind is the variable's;
// only a second "http://" may follow the first.
std::string ProxyUrl(std::string_view value, std::string_view kind = "http://") {
    if (const std::size_t scheme = value.find("://"); scheme != std::string_view::npos)
        value.remove_prefix(scheme + 3);
    std::string credentials;
    if (const std::size_t at = value.find('@'); at != std::string_view::npos) {
        credentials = Escaped(value.substr(0, at)) + "@";
        value.remove_prefix(at + 1);
    }
    if (value.ends_with('/'))
        value.remove_suffix(1);
    value = TrimBlanks(value);
    if (const std::size_t colon = value.find(':');
        colon != std::string_view::npos && value.substr(colon, 3) == "://") {
        if (kind != "http://" || text::ToLowerCase(value.substr(0, colon)) != "http")
            return {};
        value = TrimBlanks(value.substr(colon + 3));
    }
    if (value.find('@') != std::string_view::npos)
        return {};
    std::string_view host = value, port;
    const std::size_t close = value.starts_with('[') ? value.find(']') : 0;
    if (close == std::string_view::npos)
        return {};
    if (const std::size_t colon = value.rfind(':');
        colon != std::string_view::npos && colon > close) {
        host = value.substr(0, colon);
        port = value.substr(colon + 1);
        if (port.empty())
            return {};
    } else if (close + 1 < value.size() && close != 0) {
        return {};
    }
    const std::optional<int> number =
        port.empty() ? std::optional<int>(kind == "http://" ? 80 : 1080) : Port(port);
    std::optional<std::string> name = HostName(host);
    if (!number || !name)
        return {};
    if (name->front() != '[' && name->find(':') != std::string::npos)
        name = "[" + *name + "]";
    if (name->front() == '[') {
        unsigned char address[16];
        if (name->back() != ']' ||
            inet_pton(AF_INET6, name->substr(1, name->size() - 2).c_str(), address) != 1)
            return {};
    }
    return std::string(kind) + credentials + *name + ":" + std::to_string(*number);
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
    if (settings.http.empty() && settings.https.empty() &&
        ProxyUrl(Variable(variable, "ftp_proxy")).empty()) {
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
