#pragma once
// The platform's HTTP service as the web request routine uses it: a session
// (user agent, proxy), a connection to one server, one request on it, and the
// cookie store. Each object closes what it holds when destroyed. Failures are
// results: a null object, a read of 0 bytes, no header block.

#include "host/eventloop.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

class HttpRequest {
  public:
    virtual ~HttpRequest() = default;

    // Sends the request with `headers` (lines each ending in CR LF) and the
    // body. A send that fails shows up as a body of 0 bytes.
    virtual void Send(std::string_view headers, std::string_view body) = 0;

    // Waits until more of the body has come and returns how much more, at
    // most `most` bytes; 0 once the body has ended or the exchange failed.
    // The bytes stay in the request's body (see TakeBody): a read copies
    // nothing. While no data is there yet it waits in short slices and calls
    // `serveEvents` between them.
    virtual std::size_t Read(std::size_t most, const std::function<void()>& serveEvents) = 0;

    // Receives the whole body without waiting: `done` runs from the event
    // loop of `loop` once the exchange has ended, never from inside this
    // call, and never once the request is destroyed. Instead of Read.
    virtual void Receive(host::EventLoop& loop, std::function<void()> done) = 0;

    // The body received, moved out; empty when the exchange failed as a
    // whole (abandoned, or a body past the size limit), while a transfer
    // that broke off leaves what came until then.
    virtual std::vector<std::uint8_t> TakeBody() = 0;

    // The final response's status line and header lines, each ending in
    // CR LF, then an empty line; none when no response came.
    virtual std::optional<std::string> RawHeaders() const = 0;

    // Why no response came, when none did.
    enum class Failure { None, HostUnknown, ConnectionRefused, NoAnswer };
    virtual Failure WhyNoResponse() const = 0;
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
