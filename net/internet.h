#pragma once
// The platform's HTTP service as the web request routine uses it: a session
// (user agent, proxy), a connection to one server, one request on it, and the
// cookie store. Each object closes what it holds when destroyed. Failures are
// results: a null object, a read of 0 bytes, no header block.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace net {

class HttpRequest {
  public:
    virtual ~HttpRequest() = default;

    // Sends the request with `headers` (lines each ending in CR LF) and the
    // body. A send that fails shows up as a body of 0 bytes.
    virtual void Send(std::string_view headers, std::string_view body) = 0;

    // Copies the next bytes of the body into `buffer` and returns their
    // number; 0 once the body has ended or the exchange failed. While no data
    // is there yet it waits in short slices and calls `processEvents` between
    // them.
    virtual std::size_t Read(std::span<std::uint8_t> buffer,
                             const std::function<void()>& processEvents) = 0;

    // The length the response announced, once its headers have come.
    virtual std::optional<std::uint64_t> ContentLength() const = 0;

    // The final response's status line and header lines, each ending in
    // CR LF, then an empty line; none when no response came.
    virtual std::optional<std::string> RawHeaders() const = 0;
};

class HttpConnection {
  public:
    virtual ~HttpConnection() = default;

    // `path` is sent as it stands: the object name of the request line.
    virtual std::unique_ptr<HttpRequest> OpenRequest(std::string_view verb, std::string_view path,
                                                     std::string_view version) = 0;
};

class InternetSession {
  public:
    virtual ~InternetSession() = default;

    // A connection to `host` on `port` (0: the service's default). `url` is
    // the whole address the routine was given; the platform reads from it
    // whether the exchange is secure.
    virtual std::unique_ptr<HttpConnection> Connect(std::string_view host, int port,
                                                    std::string_view url) = 0;
};

class Internet {
  public:
    virtual ~Internet() = default;

    // `proxyList` as the system takes it ("http=host:port"): requests of that
    // scheme go through the proxy. None: every request goes direct.
    virtual std::unique_ptr<InternetSession> Open(std::string_view userAgent,
                                                  std::optional<std::string_view> proxyList) = 0;

    // Stores a cookie that a response set: the address it belongs to, its
    // name (empty: none) and its data ("value; attributes").
    virtual void SetCookie(std::string_view url, std::string_view name, std::string_view data) = 0;
};

} // namespace net
