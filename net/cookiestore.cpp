#include "net/cookiestore.h"

#include "text/text.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>

namespace net {

namespace {

using Clock = std::chrono::system_clock;

// Browsers keep no cookie longer than this; the cap also keeps far-off dates
// inside the clock's range.
constexpr std::chrono::seconds LongestLife = std::chrono::days(400);
// The oldest cookies give way beyond this many.
constexpr std::size_t MostCookies = 3000;

// A cookie goes into a header line; nothing in it may end that line.
bool HasControlBytes(std::string_view text) {
    return std::ranges::any_of(
        text, [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; });
}

bool DomainMatches(std::string_view host, std::string_view domain) {
    return host == domain || (host.size() > domain.size() && host.ends_with(domain) &&
                              host[host.size() - domain.size() - 1] == '.');
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
    return requestPath.starts_with(cookiePath) &&
           (requestPath.size() == cookiePath.size() || cookiePath.ends_with('/') ||
            requestPath[cookiePath.size()] == '/');
}

struct Origin {
    std::string host;
    std::string path;
};

// Host and path of "scheme://host[:port][/path]"; none without a host.
std::optional<Origin> ParseOrigin(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("?#"));
    const auto slash = rest.find('/');
    Origin origin{text::ToLowerCase(rest.substr(0, std::min(slash, rest.find(':')))),
                  slash == std::string_view::npos ? "/" : std::string(rest.substr(slash))};
    if (origin.host.empty())
        return std::nullopt;
    return origin;
}

// The directory of the request path, as cookies without a Path attribute get.
std::string DefaultPath(std::string_view requestPath) {
    const auto last = requestPath.rfind('/');
    if (last == 0 || last == std::string_view::npos)
        return "/";
    return std::string(requestPath.substr(0, last));
}

// Whole seconds, as other cookie stores keep them: a mirrored copy then
// compares equal and does not come back as a change.
Cookie::Time CappedExpiry(Clock::time_point now, std::chrono::seconds fromNow) {
    if (fromNow <= std::chrono::seconds::zero())
        return Cookie::Time{};
    return std::chrono::floor<std::chrono::seconds>(now + std::min(fromNow, LongestLife));
}

// Applies one "key=value" attribute; false when it makes the cookie invalid.
bool ApplyAttribute(Cookie& cookie, std::string_view attribute, const Origin& origin,
                    std::optional<Cookie::Time>& expires, std::optional<Cookie::Time>& maxAge) {
    const auto equals = attribute.find('=');
    const std::string key = text::ToLowerCase(text::TrimSpaces(attribute.substr(0, equals)));
    const text::Text value = equals == std::string_view::npos
                                 ? text::Text{}
                                 : text::TrimSpaces(attribute.substr(equals + 1));
    const auto now = Clock::now();
    if (key == "domain" && !value.empty()) {
        std::string domain = text::ToLowerCase(value.starts_with('.') ? value.substr(1) : value);
        // A bare top-level name would cover every host under it.
        if (!DomainMatches(origin.host, domain) ||
            (domain != origin.host && domain.find('.') == std::string::npos))
            return false;
        cookie.domain = std::move(domain);
        cookie.hostOnly = false;
    } else if (key == "path" && value.starts_with('/')) {
        cookie.path = value;
    } else if (key == "expires") {
        if (const time_t when = curl_getdate(value.c_str(), nullptr); when != -1)
            expires = CappedExpiry(now, std::chrono::seconds(when - Clock::to_time_t(now)));
    } else if (key == "max-age") {
        long long seconds = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (error == std::errc() && end == value.data() + value.size())
            maxAge = CappedExpiry(now, std::chrono::seconds(seconds));
    } else if (key == "secure") {
        cookie.secure = true;
    } else if (key == "httponly") {
        cookie.httpOnly = true;
    }
    return true;
}

} // namespace

bool CookieStore::SetCookie(std::string_view url, std::string_view name, std::string_view data) {
    const auto origin = ParseOrigin(url);
    if (!origin)
        return false;
    Cookie cookie;
    cookie.domain = origin->host;
    cookie.path = DefaultPath(origin->path);
    const auto semicolon = data.find(';');
    const std::string_view first = data.substr(0, semicolon);
    const auto equals = first.find('=');
    if (!name.empty()) {
        cookie.name = name;
        cookie.value = text::TrimSpaces(first);
    } else if (equals != std::string_view::npos) {
        cookie.name = text::TrimSpaces(first.substr(0, equals));
        cookie.value = text::TrimSpaces(first.substr(equals + 1));
    } else {
        cookie.value = text::TrimSpaces(first);
    }
    if (HasControlBytes(cookie.name) || HasControlBytes(cookie.value))
        return false;

    std::optional<Cookie::Time> expires;
    std::optional<Cookie::Time> maxAge;
    std::string_view attributes =
        semicolon == std::string_view::npos ? "" : data.substr(semicolon + 1);
    while (!attributes.empty()) {
        const auto next = attributes.find(';');
        if (!ApplyAttribute(cookie, attributes.substr(0, next), *origin, expires, maxAge))
            return false;
        attributes = next == std::string_view::npos ? "" : attributes.substr(next + 1);
    }
    cookie.expires = maxAge ? maxAge : expires;
    Store(std::move(cookie));
    return true;
}

void CookieStore::Store(Cookie cookie) {
    if (cookie.expires && *cookie.expires <= Clock::now())
        return Remove(cookie);
    const auto slot =
        std::ranges::find_if(cookies_, [&](const Cookie& c) { return c.SameSlot(cookie); });
    if (slot != cookies_.end()) {
        if (*slot == cookie)
            return;
        *slot = cookie;
    } else {
        cookies_.push_back(cookie);
        if (cookies_.size() > MostCookies)
            Remove(Cookie(cookies_.front()));
    }
    Notify(cookie, Change::Stored);
}

void CookieStore::Remove(const Cookie& cookie) {
    const auto slot =
        std::ranges::find_if(cookies_, [&](const Cookie& c) { return c.SameSlot(cookie); });
    if (slot == cookies_.end())
        return;
    const Cookie removed = std::move(*slot);
    cookies_.erase(slot);
    Notify(removed, Change::Removed);
}

std::string CookieStore::CookieHeader(std::string_view hostName, std::string_view path,
                                      bool secure) const {
    const std::string lowerHost = text::ToLowerCase(hostName);
    const auto now = Clock::now();
    std::vector<const Cookie*> sent;
    for (const Cookie& cookie : cookies_) {
        const bool hostMatches =
            cookie.hostOnly ? lowerHost == cookie.domain : DomainMatches(lowerHost, cookie.domain);
        if (hostMatches && PathMatches(path, cookie.path) && (secure || !cookie.secure) &&
            (!cookie.expires || *cookie.expires > now))
            sent.push_back(&cookie);
    }
    std::ranges::stable_sort(sent, std::greater{}, [](const Cookie* c) { return c->path.size(); });
    std::string header;
    for (const Cookie* cookie : sent) {
        if (!header.empty())
            header += "; ";
        header += cookie->name.empty() ? cookie->value : cookie->name + "=" + cookie->value;
    }
    return header;
}

std::vector<Cookie> CookieStore::Cookies() const {
    const auto now = Clock::now();
    std::vector<Cookie> live;
    std::ranges::copy_if(cookies_, std::back_inserter(live),
                         [now](const Cookie& c) { return !c.expires || *c.expires > now; });
    return live;
}

void CookieStore::Notify(const Cookie& cookie, Change change) const {
    if (observer_)
        observer_(cookie, change);
}

} // namespace net
