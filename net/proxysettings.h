#pragma once
// Which proxy a request takes, so that the page and the program's own
// requests go the same road.

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace net {

struct Address;

// The proxies of the environment, taken as the embedded browser takes them:
// all_proxy for every scheme, else http_proxy and https_proxy each for its
// own, never one scheme's proxy for the other, else (unless ftp_proxy names
// one) SOCKS_SERVER for both; each name as written, else in the other case.
// A value the browser cannot read (a line break, a path, a bad port, ...)
// counts as unset, as it does there. Hosts that no_proxy names
// (suffixes, "*" for all, "<local>" for names without a dot, each with an
// optional port, or address ranges) go direct, and so do localhost and
// loopback and link-local addresses unless no_proxy holds "<-loopback>".
struct ProxySettings {
    std::string http, https; // "scheme://host:port"; empty: direct
    std::vector<std::string> bypass;
    bool bypassLoopback = true;

    // `variable` answers like std::getenv.
    using Lookup = std::function<const char*(const char*)>;
    static ProxySettings FromEnvironment(const Lookup& variable = [](const char* name) {
        return std::getenv(name);
    });
    // The proxy a request to `address` goes through; empty: direct.
    std::string For(const Address& address) const;
};

} // namespace net
