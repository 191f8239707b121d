#pragma once
// The process's one cookie store: what responses set is sent on later
// requests to the same host. The program owns it and passes it to whatever
// needs it; an observer hears of every change, so that another store (the
// embedded browser's) can mirror it.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

struct Cookie {
    using Time = std::chrono::system_clock::time_point;

    std::string name; // may be empty: the cookie is then sent as its value alone
    std::string value;
    std::string domain; // host or domain in small letters, no leading dot
    std::string path = "/";
    std::optional<Time> expires; // none: the cookie ends with the program
    bool hostOnly = true;        // set without a Domain attribute: that host only
    bool secure = false;         // sent over https only
    bool httpOnly = false;

    // Name, domain and path identify a cookie: a new one with the same three
    // replaces the old.
    bool SameSlot(const Cookie& other) const {
        return name == other.name && domain == other.domain && path == other.path;
    }
    friend bool operator==(const Cookie&, const Cookie&) = default;
};

class CookieStore final {
  public:
    enum class Change { Stored, Removed };
    using Observer = std::function<void(const Cookie& cookie, Change change)>;

    // Stores what a Set-Cookie line asks for, as the system call takes it:
    // the address the response came from ("http://host[/path]"), the name
    // (empty: the data begins with "name=" or is a bare value) and the data
    // ("value; attribute; ..."). False when the cookie was refused (a domain
    // the host does not belong to, control characters); an expiry in the past
    // removes the cookie.
    bool SetCookie(std::string_view url, std::string_view name, std::string_view data);

    // Stores or replaces a cookie as it stands; one already expired removes
    // its namesake. The observer hears only of actual changes, so a mirror
    // that feeds the same cookie back ends the echo.
    void Store(Cookie cookie);
    void Remove(const Cookie& cookie);

    // The value of the Cookie header for a request ("a=1; b=2"), longer
    // paths first; empty when no cookie applies.
    std::string CookieHeader(std::string_view hostName, std::string_view path, bool secure) const;

    // The cookies that have not expired, oldest first.
    std::vector<Cookie> Cookies() const;

    void SetObserver(Observer observer) { observer_ = std::move(observer); }

  private:
    void Notify(const Cookie& cookie, Change change) const;

    std::vector<Cookie> cookies_; // oldest first
    Observer observer_;
};

} // namespace net
