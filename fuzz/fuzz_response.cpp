// The request routine on whatever a server answers: the input is the whole
// response, served by a loopback server in this process, so the status line,
// the header block, the cookie lines, redirects and chunked framing pass
// through libcurl and the routine exactly as in use. Whatever the bytes, the
// call ends, the body is no longer than what was sent, and no stored cookie
// can end a header line of a later request.
#include "fakedesktop.h"
#include "fakeeventloop.h"
#include "fuzzinput.h"
#include "net/curlinternet.h"
#include "net/webpageaccess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <thread>

namespace {

class Descriptor final {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Answers every connection with the current response: reads the request up
// to its empty line, sends the bytes and closes its side, so the client
// always sees the end.
class ResponseServer final {
  public:
    ResponseServer() : listener_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        Check(bind(listener_.get(), raw, length) == 0 && listen(listener_.get(), 16) == 0 &&
              getsockname(listener_.get(), raw, &length) == 0);
        port_ = ntohs(address.sin_port);
        std::thread([this] { Serve(); }).detach();
    }

    int Port() const { return port_; }
    void Set(std::string_view response) {
        const std::lock_guard lock(mutex_);
        response_ = response;
    }

  private:
    void Serve() {
        for (;;) {
            const Descriptor client(accept(listener_.get(), nullptr, nullptr));
            if (client.get() >= 0)
                Answer(client.get());
        }
    }

    void Answer(int client) {
        const timeval timeout{1, 0};
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        std::string response;
        {
            const std::lock_guard lock(mutex_);
            response = response_;
        }
        for (std::size_t sent = 0; sent < response.size();) {
            const ssize_t put =
                send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
            if (put <= 0)
                return;
            sent += static_cast<std::size_t>(put);
        }
        shutdown(client, SHUT_WR);
        while (recv(client, buffer, sizeof buffer, 0) > 0) {
        }
    }

    Descriptor listener_;
    int port_ = 0;
    std::mutex mutex_;
    std::string response_;
};

// The routine follows redirects itself; only those that stay on this server
// (a path, not a scheme or another host) are tried, so nothing leaves the
// machine.
bool RedirectsStayHere(std::string_view response) {
    constexpr std::string_view Marker = "location:";
    while (!response.empty()) {
        const auto end = response.find('\n');
        std::string_view line = response.substr(0, end);
        response = end == std::string_view::npos ? std::string_view{} : response.substr(end + 1);
        if (line.size() < Marker.size() ||
            !std::equal(Marker.begin(), Marker.end(), line.begin(), [](char a, char b) {
                return a == std::tolower(static_cast<unsigned char>(b));
            }))
            continue;
        line.remove_prefix(Marker.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const bool plainPath = line.starts_with('/') && !line.starts_with("//") &&
                               std::ranges::all_of(line, [](unsigned char c) {
                                   return c > 0x20 && c < 0x7F && c != '\\';
                               });
        if (!plainPath)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view response(reinterpret_cast<const char*>(data), size);
    if (!RedirectsStayHere(response))
        return 0;
    static ResponseServer* const server = new ResponseServer;
    static fakes::FakeEventLoop loop;
    static fakes::FakeDesktop desktop;
    static net::CookieStore cookies;
    static net::CurlInternet internet(
        cookies, net::TransferOptions{std::chrono::seconds(2), std::chrono::seconds(2), {}});
    cookies = net::CookieStore{};
    server->Set(response);

    const std::string origin = "127.0.0.1:" + std::to_string(server->Port());
    text::Text url = "http://" + origin + "/page";
    text::Text headers;
    const text::ByteSet body =
        net::WebPageAccess(net::WebContext{loop, desktop, internet}, url, net::AccessGet, {},
                           nullptr, {}, {}, net::KeepBody, &headers);
    Check(body.size() <= size);
    Check(!headers.empty());
    const std::string sent = cookies.CookieHeader("127.0.0.1", "/page", false);
    Check(sent.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    return 0;
}
