#pragma once
// The platform's HTTP service on the transfer core. Each request makes
// progress only while its body is read, so the reader can keep the window
// alive; cookies come from and go to the program's cookie store (curl's own
// cookie engine stays off, so nothing is sent twice).

#include "net/cookiestore.h"
#include "net/internet.h"
#include "net/transfer.h"

namespace net {

class CurlInternet final : public Internet {
  public:
    explicit CurlInternet(CookieStore& cookies, TransferOptions options = {});
    CurlInternet(const CurlInternet&) = delete;
    CurlInternet& operator=(const CurlInternet&) = delete;

    std::unique_ptr<InternetSession> Open(std::string_view userAgent,
                                          std::optional<std::string_view> proxyList) override;
    void SetCookie(std::string_view url, std::string_view name, std::string_view data) override;

  private:
    CookieStore& cookies_;
    TransferOptions options_;
};

} // namespace net
