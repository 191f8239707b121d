#pragma once
// The platform's HTTP service on libcurl. Each request runs on a multi handle
// of its own and makes progress only while its body is read, so the reader
// can keep the window alive; redirects are followed here, and cookies come
// from and go to the program's cookie store (curl's own cookie engine stays
// off, so nothing is sent twice).

#include "net/cookiestore.h"
#include "net/internet.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace net {

// A page the client reads into memory has no business being this large; a
// body past it fails the exchange, and its connection is closed at once.
constexpr std::size_t BodySizeLimit = std::size_t(128) << 20;
// The longest one exchange (redirects included) may take before it ends as
// a stalled one does, however steadily a server drips.
constexpr std::chrono::milliseconds ExchangeTimeLimit{120'000};

struct CurlOptions {
    std::chrono::milliseconds connectTimeout{60'000};
    // Once connected, an exchange in which nothing moves for this long
    // ends; what was read until then stands.
    std::chrono::milliseconds stallTimeout{30'000};
    // Certificates (PEM) to trust instead of the system's; for tests.
    std::string caFile;
    std::chrono::milliseconds timeLimit = ExchangeTimeLimit;
    std::size_t bodyLimit = BodySizeLimit;
};

class CurlInternet final : public Internet {
  public:
    explicit CurlInternet(CookieStore& cookies, CurlOptions options = {});
    ~CurlInternet() override;
    CurlInternet(const CurlInternet&) = delete;
    CurlInternet& operator=(const CurlInternet&) = delete;

    std::unique_ptr<InternetSession> Open(std::string_view userAgent,
                                          std::optional<std::string_view> proxyList) override;
    void SetCookie(std::string_view url, std::string_view name, std::string_view data) override;

  private:
    CookieStore& cookies_;
    CurlOptions options_;
};

} // namespace net
