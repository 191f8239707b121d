#pragma once
// HTTP over a plain socket, byte for byte: the tests send request lines that
// no client library would (an unencoded magnet URI, stray bytes, huge
// headers). The portal closes every connection after one reply.

#include <cstddef>
#include <string>
#include <string_view>

namespace portaltest {

struct HttpReply {
    int status = 0; // 0 when no status line came back
    std::string head;
    std::string body;

    // The value of a header, matched without regard to case; empty when absent.
    std::string Header(std::string_view name) const;
};

// A connection to "host:port".
class Connection final {
  public:
    explicit Connection(const std::string& site);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Send(std::string_view bytes);
    // Up to `limit` bytes, or fewer when the server closes first.
    std::string Receive(std::size_t limit = std::string::npos);

  private:
    int sock_ = -1;
};

HttpReply ParseReply(const std::string& raw);
HttpReply Exchange(const std::string& site, std::string_view request);
HttpReply Get(const std::string& site, std::string_view target);

} // namespace portaltest
