#pragma once
// The program's one libcurl client, for pages read into memory and files
// saved to disk alike: one request, its redirects followed hop by hop (the
// cookies a redirect sets stored before the next hop asks), the final
// response's head handed to a sink and its body written there, and the limits
// that end an exchange. It moves either when its driver turns it, so the
// driver decides what happens between turns, or on an event loop's socket
// and timer notifications.

#include "host/eventloop.h"
#include "net/address.h"
#include "net/cookiestore.h"
#include "net/curlhandle.h"
#include "net/proxysettings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

constexpr std::string_view UserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr int MostRedirects = 10;
constexpr double MinimumByteRate = 1.0;

struct TransferOptions {
    std::chrono::milliseconds connectTimeout{60'000};
    // Once the request is out, an exchange stalls when nothing moves for this
    // long, or when less than MinimumByteRate arrives averaged over it, so
    // that a server dripping a byte now and then cannot hold it for ever.
    std::chrono::milliseconds stallTimeout{30'000};
    std::string caFile; // certificates (PEM) to trust instead of the system's; for tests
    // A page read into memory has no business being larger, or taking longer
    // (redirects included); a download to a file has neither limit.
    std::chrono::milliseconds timeLimit{120'000};
    std::size_t bodyLimit = std::size_t(128) << 20;
    ProxySettings proxies = ProxySettings::FromEnvironment();
};

struct Request {
    Address address;
    std::string verb = "GET";
    std::vector<std::string> headers; // lines without their line ends
    std::string body;                 // for a POST
    long httpVersion = CURL_HTTP_VERSION_NONE;
    // The caller's own proxy, for plain http only; it replaces the
    // environment's, and everything else then goes direct.
    std::string proxy;
    std::string userAgent{UserAgent};
};

struct Response {
    int status = 0;
    std::string head; // the status and header lines, each ending in CR LF, then an empty line
    std::optional<std::uint64_t> length;
    std::string url; // where it came from

    // The values of the header lines called `name` (any letter case), trimmed.
    std::vector<std::string> Values(std::string_view name) const;
};

// The lines of `text`: the pieces between CR and LF bytes, empty ones left
// out, so that no piece holds a line break.
std::vector<std::string_view> Lines(std::string_view text);
// The code of the status line that `head` starts with; 0 when it has none.
int StatusCode(std::string_view head);

class Sink {
  public:
    virtual ~Sink() = default;
    // The final response's head. False: its body is not wanted, and the
    // exchange ends.
    virtual bool Begin(const Response& response) = 0;
    // False ends the exchange.
    virtual bool Write(const char* data, std::size_t size) = 0;
};

enum class TransferEnd {
    Running,
    Complete,
    Broken, // see Result
    Stalled,
    TimedOut,
    TooLarge,
    TooManyRedirects,
    RedirectRefused, // to another scheme, or from https back to http
    Refused,         // by the sink
};

class Transfer final {
  public:
    // The request goes out at the first turn.
    Transfer(Request request, CookieStore& cookies, const TransferOptions& options, Sink& sink);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Lets the exchange move, then, unless body came or it ended, waits on
    // the network for at most `wait`.
    void Turn(std::chrono::milliseconds wait);
    // Instead of turns: the exchange moves whenever `loop` reports one of its
    // sockets ready or a deadline due, and `ended` runs from the event loop
    // once it is over, unless the transfer is destroyed first.
    void Drive(host::EventLoop& loop, std::function<void()> ended);
    // Cuts a turn's wait short; from any thread.
    void Wake() { curl_multi_wakeup(multi_.get()); }

    TransferEnd End() const { return end_; }
    CURLcode Result() const { return result_; }
    // Once its head has come.
    const std::optional<Response>& Final() const { return final_; }

  private:
    void Settle();
    void Act(curl_socket_t socket, int events);
    void OnSocket(curl_socket_t socket, int what);
    void OnCurlTimer(long milliseconds);
    void CheckLimitsLater();
    void TellEnded();
    bool StartHop();
    void EndHop();
    void Finish(TransferEnd end);
    bool Cut(TransferEnd why);
    bool Stalled();
    void RestartStallClock();
    bool OnHeaderLine(std::string_view line);
    bool OnHead();
    bool OnBody(const char* data, std::size_t size);

    Request request_;
    CookieStore& cookies_;
    TransferOptions options_;
    Sink& sink_;
    curl::Multi multi_;
    curl::Easy easy_;
    curl::HeaderList headerList_;
    TransferEnd end_ = TransferEnd::Running;
    TransferEnd cut_ = TransferEnd::Running; // why a callback ended the hop
    CURLcode result_ = CURLE_OK;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    int redirects_ = 0;
    std::optional<Address> next_;
    Response response_; // the one being received
    bool headDone_ = false;
    std::optional<Response> final_;
    std::uint64_t bodyBytes_ = 0;
    // The stall rule: when anything last moved, and where the current span began.
    std::uint64_t moved_ = 0;
    std::chrono::steady_clock::time_point lastMove_, spanStart_;
    std::uint64_t spanStartBytes_ = 0;
    // Driven by an event loop.
    host::EventLoop* loop_ = nullptr;
    std::function<void()> ended_;
    std::map<curl_socket_t, std::unique_ptr<host::Watch>> sockets_;
    std::unique_ptr<host::Watch> curlTimer_, limitTimer_;
    std::shared_ptr<int> alive_ = std::make_shared<int>();
};

} // namespace net
