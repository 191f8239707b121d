#include "net/curlinternet.h"

#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace net {

namespace {

// How long a read waits on the network before the window gets its turn.
constexpr std::chrono::milliseconds PollSlice{20};
// Growing the body by doubling copies what came so far; up to this size a
// copy takes about a millisecond. A body that outgrows it without having
// announced its length gets the rest of the size limit reserved at once.
constexpr std::size_t LargestGrowthCopy = std::size_t(4) << 20;
constexpr std::size_t HugePage = std::size_t(2) << 20;

// The host goes into the address curl parses; anything beyond a plain name
// there (an "@" would turn the name into user information, and curl would
// connect elsewhere and log in) is refused.
bool IsPlainHostName(std::string_view host) {
    return !host.empty() && std::ranges::all_of(host, [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c >= 0x80;
    });
}

// Only the proxy for plain http is used: that is the one the list names.
std::string ProxyAddress(std::string_view proxyList) {
    constexpr std::string_view prefix = "http=";
    if (proxyList.starts_with(prefix))
        proxyList.remove_prefix(prefix.size());
    return text::TrimSpaces(proxyList);
}

// The body straight in its final buffer. Its room comes from the announced
// length when there is one, else it doubles while copies are cheap and then
// takes the rest of the limit's address space in one step.
class MemorySink final : public Sink {
  public:
    explicit MemorySink(std::size_t limit) : limit_(limit) {}

    bool Begin(const Response& response) override {
        return !response.length || MakeRoom(static_cast<std::size_t>(*response.length));
    }
    bool Write(const char* data, std::size_t size) override {
        const std::size_t needed = body.size() + size;
        const std::size_t doubled = std::max(needed, 2 * body.capacity());
        if (needed > body.capacity() && !MakeRoom(doubled > LargestGrowthCopy ? limit_ : doubled))
            return false;
        // As bytes of the body's own type, so that this is one block copy.
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
        body.insert(body.end(), bytes, bytes + size);
        return true;
    }

    std::vector<std::uint8_t> body;

  private:
    // A large reservation is backed by huge pages where the system offers
    // them: faulting in a long body 4 KiB at a time costs more than
    // receiving it. Pages are only taken as the body fills them.
    bool MakeRoom(std::size_t size) {
        try {
            body.reserve(size);
        } catch (const std::bad_alloc&) {
            return false;
        }
        const auto first = reinterpret_cast<std::uintptr_t>(body.data());
        const std::uintptr_t start = (first + HugePage - 1) & ~(HugePage - 1);
        const std::uintptr_t end = (first + body.capacity()) & ~(HugePage - 1);
        if (body.capacity() >= 2 * HugePage && end > start)
            madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
        return true;
    }

    std::size_t limit_;
};

// What a request takes over from its session and connection.
struct Setup {
    CookieStore& cookies;
    const TransferOptions& options;
    Request request;
};

class CurlRequest final : public HttpRequest {
  public:
    explicit CurlRequest(Setup setup) : setup_(std::move(setup)), sink_(setup_.options.bodyLimit) {}

    // Only queued: the exchange runs while the body is read, where the
    // window keeps being served.
    void Send(std::string_view headers, std::string_view body) override {
        // One entry per line, so that no entry carries a line of its own.
        for (const std::string_view line : Lines(headers))
            setup_.request.headers.emplace_back(line);
        setup_.request.body = body;
        transfer_.emplace(std::move(setup_.request), setup_.cookies, setup_.options, sink_);
    }

    std::size_t Read(std::size_t most, const std::function<void()>& serveEvents) override {
        while (transfer_ && reported_ == sink_.body.size() && Running()) {
            transfer_->Turn(PollSlice);
            if (reported_ == sink_.body.size() && Running())
                serveEvents();
        }
        const std::size_t count = std::min(most, sink_.body.size() - reported_);
        reported_ += count;
        return count;
    }

    void Receive(host::EventLoop& loop, std::function<void()> done) override {
        if (transfer_)
            transfer_->Drive(loop, std::move(done));
        else
            loop.PostWork(std::move(done));
    }

    // Past the size limit or out of memory: no body at all;
    // a transfer that broke off leaves what came until then.
    std::vector<std::uint8_t> TakeBody() override {
        const TransferEnd end = transfer_ ? transfer_->End() : TransferEnd::Complete;
        if (end == TransferEnd::TooLarge || end == TransferEnd::Refused)
            return {};
        return std::move(sink_.body);
    }
    std::optional<std::string> RawHeaders() const override {
        if (!transfer_ || !transfer_->Final())
            return std::nullopt;
        return transfer_->Final()->head;
    }

    Failure WhyNoResponse() const override {
        if (transfer_ && transfer_->Final())
            return Failure::None;
        switch (transfer_ ? transfer_->Result() : CURLE_OK) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return Failure::HostUnknown;
        case CURLE_COULDNT_CONNECT:
            return Failure::ConnectionRefused;
        default:
            return Failure::NoAnswer;
        }
    }

  private:
    bool Running() const { return transfer_->End() == TransferEnd::Running; }

    Setup setup_;
    MemorySink sink_;
    std::optional<Transfer> transfer_;
    std::size_t reported_ = 0;
};

class CurlConnection final : public HttpConnection {
  public:
    explicit CurlConnection(Setup setup) : setup_(std::move(setup)) {}

    std::unique_ptr<HttpRequest> OpenRequest(std::string_view verb, std::string_view path,
                                             std::string_view version) override {
        Setup setup = setup_;
        setup.request.address.path = path;
        setup.request.verb = verb;
        setup.request.httpVersion =
            version == "HTTP/1.0" ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1;
        return std::make_unique<CurlRequest>(std::move(setup));
    }

  private:
    Setup setup_;
};

class CurlSession final : public InternetSession {
  public:
    explicit CurlSession(Setup setup) : setup_(std::move(setup)) {}

    // The routine's port rule skips only "http://" as a scheme and so yields
    // 0 for every https address; for TLS the port is read from the address.
    std::unique_ptr<HttpConnection> Connect(std::string_view host, int port,
                                            std::string_view url) override {
        Setup setup = setup_;
        Address& address = setup.request.address;
        address = {url.starts_with("https://"), std::string(host), port == 0 ? 80 : port};
        if (address.secure) {
            const std::optional<Address> parsed = ParseAddress(url);
            address.port = parsed ? parsed->port : 443;
        }
        if (!IsPlainHostName(host) || address.port < 1 || address.port > 65535)
            return nullptr;
        return std::make_unique<CurlConnection>(std::move(setup));
    }

  private:
    Setup setup_;
};

} // namespace

CurlInternet::CurlInternet(CookieStore& cookies, TransferOptions options)
    : cookies_(cookies), options_(std::move(options)) {}

std::unique_ptr<InternetSession> CurlInternet::Open(std::string_view userAgent,
                                                    std::optional<std::string_view> proxyList) {
    Request request;
    request.userAgent = userAgent;
    request.proxy = proxyList ? ProxyAddress(*proxyList) : "";
    return std::make_unique<CurlSession>(Setup{cookies_, options_, std::move(request)});
}

void CurlInternet::SetCookie(std::string_view url, std::string_view name, std::string_view data) {
    cookies_.SetCookie(url, name, data);
}

} // namespace net
