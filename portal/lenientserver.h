#pragma once
// An HTTP server that takes request targets as browsers send them.
//
// The player address carries a magnet URI unencoded in its query
// ("?url=magnet:?xt=urn:btih:<hash>"). The bundled HTTP library (0.11)
// answers a second '?' in a target with 400 and keeps only the piece after a
// parameter's last '='. This server percent-encodes those characters in the
// request line before the library reads it, so every parameter arrives whole
// once decoded. It serves one request per connection.

#include <httplib.h>

#include <string>
#include <string_view>

namespace portal {

// Rewrites a request line byte by byte as it arrives: in the target's query,
// every '?' and every '=' after the first of a parameter is percent-encoded.
class RequestLineMender final {
  public:
    void Put(char c, std::string& out);

  private:
    enum class Part { Method, Path, Query, Rest };
    Part part_ = Part::Method;
    bool parameterHasEquals_ = false;
};

std::string MendRequestLine(std::string_view line);

class LenientServer final : public httplib::Server {
  private:
    bool process_and_close_socket(socket_t sock) override;
};

} // namespace portal
