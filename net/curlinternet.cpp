#include "net/curlinternet.h"

#include "net/curlhandle.h"
#include "text/text.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <utility>
#include <vector>

namespace net {

namespace {

constexpr int HttpPort = 80;
constexpr int HttpsPort = 443;
constexpr int MostRedirects = 10;
// How long a read waits on the socket before the window gets its turn.
constexpr long PollSliceMs = 20;
constexpr std::size_t ReceiveBufferSize = 128 * 1024;
// Growing the body by doubling copies what came so far; up to this size a
// copy takes about a millisecond. A body that outgrows it without having
// announced its length gets the rest of the size limit reserved at once.
constexpr std::size_t LargestGrowthCopy = std::size_t(4) << 20;
constexpr std::size_t HugePage = std::size_t(2) << 20;

using curl::Easy;
using curl::HeaderList;
using curl::Multi;
using curl::UrlHandle;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The object name goes into the request line as it stands, except bytes that
// cannot stand in a request target: controls, the blank, "#" (which would cut
// the target short) and every byte from 0x80 up (a GBK info-hash, say).
std::string EscapeRequestTarget(std::string_view path) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string target;
    target.reserve(path.size());
    for (const unsigned char c : path) {
        if (c <= 0x20 || c == '#' || c >= 0x7F) {
            target += '%';
            target += Hex[c >> 4];
            target += Hex[c & 0xF];
        } else {
            target += static_cast<char>(c);
        }
    }
    return target;
}

// The routine's port rule skips only "http://" as a scheme and so yields 0
// for every https address; for TLS the port is read from the address itself.
int SecurePort(std::string_view url) {
    std::string_view authority = url.substr(std::strlen("https://"));
    authority = authority.substr(0, authority.find_first_of("/?#"));
    const auto colon = authority.find(':');
    int port = 0;
    if (colon != std::string_view::npos)
        std::from_chars(authority.data() + colon + 1, authority.data() + authority.size(), port);
    return port > 0 && port <= 65535 ? port : HttpsPort;
}

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

// The completed header text as curl takes it: one entry per line. Any CR or
// LF ends an entry, so no entry can carry a line of its own into the request.
std::vector<std::string> HeaderLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        if (end != 0)
            lines.emplace_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

// Where one request of an exchange goes.
struct Target {
    bool secure = false;
    std::string host;
    int port = HttpPort;
    std::string path; // path and query

    std::string Scheme() const { return secure ? "https://" : "http://"; }
    std::string Origin() const { return Scheme() + host + ":" + std::to_string(port); }
    // The request target a proxy gets; the port only when it is not the default.
    std::string AbsoluteForm() const {
        const bool defaultPort = port == (secure ? HttpsPort : HttpPort);
        return Scheme() + host + (defaultPort ? "" : ":" + std::to_string(port)) +
               EscapeRequestTarget(path);
    }
    std::string PathOnly() const { return path.substr(0, path.find_first_of("?#")); }
};

std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK)
        return {};
    const curl::Text owned(text);
    return text;
}

// Address space for a body of `size` bytes. A large reservation is backed by
// huge pages where the system offers them: faulting in a long body 4 KiB at
// a time costs more than receiving it. Pages are only taken as the body
// fills them.
void Reserve(std::vector<std::uint8_t>& body, std::size_t size) {
    body.reserve(size);
    if (body.capacity() < 2 * HugePage)
        return;
    const auto first = reinterpret_cast<std::uintptr_t>(body.data());
    const std::uintptr_t start = (first + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t end = (first + body.capacity()) & ~(HugePage - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What a request takes over from its session.
struct Setup {
    CookieStore& cookies;
    const CurlOptions& options;
    std::string userAgent;
    std::string proxy; // empty: direct
};

class CurlRequest final : public HttpRequest {
  public:
    CurlRequest(Setup setup, Target target, std::string_view verb, std::string_view version)
        : setup_(std::move(setup)), target_(std::move(target)), verb_(verb),
          httpVersion_(version == "HTTP/1.0" ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1) {}
    ~CurlRequest() override {
        if (multi_ && easy_)
            curl_multi_remove_handle(multi_.get(), easy_.get());
    }
    CurlRequest(const CurlRequest&) = delete;
    CurlRequest& operator=(const CurlRequest&) = delete;

    // Only queued: the exchange runs while the body is read, where the
    // window keeps being served.
    void Send(std::string_view headers, std::string_view body) override {
        headerLines_ = HeaderLines(headers);
        postData_ = body;
        started_ = std::chrono::steady_clock::now();
        finished_ = !StartHop();
    }

    std::size_t Read(std::size_t most, const std::function<bool()>& serveEvents) override {
        while (reported_ == body_.size() && !finished_) {
            if (!Pump(serveEvents)) {
                failed_ = finished_ = true;
                return 0;
            }
        }
        const std::size_t count = std::min(most, body_.size() - reported_);
        reported_ += count;
        return count;
    }

    std::vector<std::uint8_t> TakeBody() override {
        return failed_ ? std::vector<std::uint8_t>() : std::move(body_);
    }
    std::optional<std::string> RawHeaders() const override { return finalHeaders_; }

  private:
    bool StartHop();
    bool Pump(const std::function<bool()>& serveEvents);
    void EndHop();
    bool Stalled();
    bool OnBody(const char* data, std::size_t size);
    bool MakeRoom(std::size_t size);
    bool OnHeaderLine(std::string_view line);
    bool OnResponseHeaders();
    std::optional<Target> RedirectTarget() const;
    void StoreRedirectCookies();

    static std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* self) {
        const std::size_t length = size * count;
        return static_cast<CurlRequest*>(self)->OnHeaderLine({data, length}) ? length : 0;
    }
    static std::size_t BodyCallback(char* data, std::size_t size, std::size_t count, void* self) {
        const std::size_t length = size * count;
        return static_cast<CurlRequest*>(self)->OnBody(data, length) ? length : 0;
    }

    Setup setup_;
    Target target_;
    std::string verb_;
    long httpVersion_;
    std::vector<std::string> headerLines_;
    std::string postData_;

    Multi multi_{curl_multi_init()};
    Easy easy_;
    HeaderList headerList_;
    bool finished_ = true;
    // Abandoned, or past the size limit: no body at all.
    bool failed_ = false;
    std::chrono::steady_clock::time_point started_;
    int redirects_ = 0;
    curl_off_t progressSeen_ = 0;
    std::chrono::steady_clock::time_point lastProgress_;
    std::optional<Target> next_;

    // The response being received.
    int status_ = 0;
    std::string block_;
    std::optional<std::string> location_;
    std::optional<std::uint64_t> contentLength_;
    bool headersDone_ = false;

    std::optional<std::string> finalHeaders_;
    // The final response's body, written here once as it arrives; the
    // reader is told of it 1 KiB at a time.
    std::vector<std::uint8_t> body_;
    std::size_t reported_ = 0;
};

bool CurlRequest::StartHop() {
    easy_.reset(curl_easy_init());
    if (!multi_ || !easy_)
        return false;
    status_ = 0;
    block_.clear();
    location_.reset();
    contentLength_.reset();
    headersDone_ = false;

    // Headers curl would add of its own accord are switched off by naming
    // them without a value; the store's cookies follow the caller's lines.
    HeaderList list;
    auto append = [&list](const std::string& line) {
        if (curl_slist* longer = curl_slist_append(list.get(), line.c_str())) {
            (void)list.release();
            list.reset(longer);
        }
    };
    for (const std::string& line : headerLines_)
        append(line);
    for (const char* own :
         {"Accept:", "Expect:", "Content-Type:", "Content-Length:", "Proxy-Connection:"})
        append(own);
    if (const std::string cookies =
            setup_.cookies.CookieHeader(target_.host, target_.PathOnly(), target_.secure);
        !cookies.empty())
        append("Cookie: " + cookies);
    headerList_ = std::move(list);

    const bool viaProxy = !target_.secure && !setup_.proxy.empty();
    const std::string url = target_.Origin() + "/";
    const std::string requestTarget =
        viaProxy ? target_.AbsoluteForm() : EscapeRequestTarget(target_.path);
    CURL* easy = easy_.get();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, requestTarget.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, httpVersion_);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, setup_.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());
    // An empty proxy also keeps curl from taking one from the environment.
    curl_easy_setopt(easy, CURLOPT_PROXY, viaProxy ? setup_.proxy.c_str() : "");
    if (verb_ == "POST") {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(postData_.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, postData_.data());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        if (verb_ != "GET")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb_.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlRequest::HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlRequest::BodyCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(setup_.options.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(ReceiveBufferSize));
    if (!setup_.options.caFile.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, setup_.options.caFile.c_str());
    return curl_multi_add_handle(multi_.get(), easy) == CURLM_OK;
}

// False when the events served said the exchange is to be abandoned.
bool CurlRequest::Pump(const std::function<bool()>& serveEvents) {
    int running = 0;
    curl_multi_perform(multi_.get(), &running);
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
        if (message->msg == CURLMSG_DONE) {
            EndHop();
            break;
        }
    }
    // Either limit ends the exchange as a broken transfer does: what came
    // until then stands.
    if (!finished_ &&
        (Stalled() || std::chrono::steady_clock::now() - started_ > setup_.options.timeLimit)) {
        next_.reset();
        EndHop();
    }
    if (reported_ == body_.size() && !finished_) {
        curl_multi_poll(multi_.get(), nullptr, 0, PollSliceMs, nullptr);
        return serveEvents();
    }
    return true;
}

// The body goes straight into its final buffer. Its room comes from the
// announced length when there is one, else it doubles while copies are
// cheap and then takes the rest of the limit's address space in one step.
bool CurlRequest::OnBody(const char* data, std::size_t size) {
    const std::size_t limit = setup_.options.bodyLimit;
    if (size > limit - body_.size()) {
        failed_ = true;
        return false;
    }
    const std::size_t needed = body_.size() + size;
    const std::size_t doubled = std::max(needed, 2 * body_.capacity());
    if (needed > body_.capacity() && !MakeRoom(doubled > LargestGrowthCopy ? limit : doubled))
        return false;
    body_.insert(body_.end(), data, data + size);
    return true;
}

// False, and the exchange failed, when the memory cannot be had.
bool CurlRequest::MakeRoom(std::size_t size) {
    try {
        Reserve(body_, size);
        return true;
    } catch (const std::bad_alloc&) {
        failed_ = true;
        return false;
    }
}

// Connecting has a limit of its own; from the request on, the clock runs
// whenever neither the request nor the response moves.
bool CurlRequest::Stalled() {
    curl_off_t ready = 0, sent = 0, bodyBytes = 0;
    long headerBytes = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_PRETRANSFER_TIME_T, &ready);
    curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_UPLOAD_T, &sent);
    curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_DOWNLOAD_T, &bodyBytes);
    curl_easy_getinfo(easy_.get(), CURLINFO_HEADER_SIZE, &headerBytes);
    const auto now = std::chrono::steady_clock::now();
    const curl_off_t progress = sent + headerBytes + bodyBytes;
    if (ready == 0 || progress != progressSeen_) {
        progressSeen_ = progress;
        lastProgress_ = now;
        return false;
    }
    return now - lastProgress_ > setup_.options.stallTimeout;
}

// A hop ends with its body read, on a failure, or cut short because it
// redirects; the exchange then goes on with the next hop or is over.
void CurlRequest::EndHop() {
    curl_multi_remove_handle(multi_.get(), easy_.get());
    if (next_) {
        target_ = std::move(*next_);
        next_.reset();
        if (StartHop())
            return;
    }
    finished_ = true;
}

bool CurlRequest::OnHeaderLine(std::string_view line) {
    if (headersDone_)
        return true; // trailers after a chunked body
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
        block_.clear();
        location_.reset();
        contentLength_.reset();
        const auto space = line.find(' ');
        status_ = 0;
        if (space != std::string_view::npos)
            std::from_chars(line.data() + space + 1, line.data() + line.size(), status_);
    } else if (StartsWithNoCase(line, "location:")) {
        location_ = text::TrimSpaces(line.substr(std::strlen("location:")));
    } else if (StartsWithNoCase(line, "content-length:")) {
        const text::Text digits = text::TrimSpaces(line.substr(std::strlen("content-length:")));
        std::uint64_t length = 0;
        if (std::from_chars(digits.data(), digits.data() + digits.size(), length).ec == std::errc())
            contentLength_ = length;
    }
    block_.append(line).append("\r\n");
    return line.empty() ? OnResponseHeaders() : true;
}

// False ends the hop at once: a redirect's own body is not wanted.
bool CurlRequest::OnResponseHeaders() {
    if (status_ >= 100 && status_ < 200)
        return true; // an interim response; the real one follows
    headersDone_ = true;
    if (!IsRedirect(status_) || !location_) {
        finalHeaders_ = block_;
        if (!contentLength_)
            return true;
        if (*contentLength_ > setup_.options.bodyLimit) {
            failed_ = true;
            return false;
        }
        return MakeRoom(static_cast<std::size_t>(*contentLength_));
    }
    // The routine stores only the final response's cookies; those that a
    // redirect sets the platform stores itself, before the next hop asks.
    StoreRedirectCookies();
    if (redirects_ == MostRedirects)
        return false;
    next_ = RedirectTarget();
    if (!next_)
        return false;
    ++redirects_;
    if (status_ == 303 || ((status_ == 301 || status_ == 302) && verb_ == "POST")) {
        verb_ = "GET";
        postData_.clear();
        std::erase_if(headerLines_, [](const std::string& line) {
            return StartsWithNoCase(line, "content-length:") ||
                   StartsWithNoCase(line, "content-type:");
        });
    }
    return false;
}

// Where the Location leads; none for a scheme other than http and https, or
// from https back to plain http.
std::optional<Target> CurlRequest::RedirectTarget() const {
    const UrlHandle url(curl_url());
    const std::string base = target_.Origin() + EscapeRequestTarget(target_.path);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, location_->c_str(),
                     CURLU_URLENCODE | CURLU_ALLOW_SPACE) != CURLUE_OK)
        return std::nullopt;
    const std::string scheme = UrlPart(url.get(), CURLUPART_SCHEME);
    if ((scheme != "http" && scheme != "https") || (target_.secure && scheme == "http"))
        return std::nullopt;
    Target next;
    next.secure = scheme == "https";
    next.host = text::ToLowerCase(UrlPart(url.get(), CURLUPART_HOST));
    next.port = std::atoi(UrlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str());
    next.path = UrlPart(url.get(), CURLUPART_PATH);
    if (const std::string query = UrlPart(url.get(), CURLUPART_QUERY); !query.empty())
        next.path += "?" + query;
    return next;
}

void CurlRequest::StoreRedirectCookies() {
    const std::string url = target_.Scheme() + target_.host + target_.path;
    std::string_view rest = block_;
    while (!rest.empty()) {
        const auto end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        if (StartsWithNoCase(line, "set-cookie:"))
            setup_.cookies.SetCookie(url, {},
                                     text::TrimSpaces(line.substr(std::strlen("set-cookie:"))));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
    }
}

class CurlConnection final : public HttpConnection {
  public:
    CurlConnection(Setup setup, Target target)
        : setup_(std::move(setup)), target_(std::move(target)) {}

    std::unique_ptr<HttpRequest> OpenRequest(std::string_view verb, std::string_view path,
                                             std::string_view version) override {
        Target target = target_;
        target.path = path;
        return std::make_unique<CurlRequest>(setup_, std::move(target), verb, version);
    }

  private:
    Setup setup_;
    Target target_;
};

class CurlSession final : public InternetSession {
  public:
    explicit CurlSession(Setup setup) : setup_(std::move(setup)) {}

    std::unique_ptr<HttpConnection> Connect(std::string_view host, int port,
                                            std::string_view url) override {
        Target target;
        target.secure = url.starts_with("https://");
        target.host = host;
        target.port = target.secure ? SecurePort(url) : port == 0 ? HttpPort : port;
        if (!IsPlainHostName(host) || target.port < 1 || target.port > 65535)
            return nullptr;
        return std::make_unique<CurlConnection>(setup_, std::move(target));
    }

  private:
    Setup setup_;
};

} // namespace

CurlInternet::CurlInternet(CookieStore& cookies, CurlOptions options)
    : cookies_(cookies), options_(std::move(options)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlInternet::~CurlInternet() {
    curl_global_cleanup();
}

std::unique_ptr<InternetSession> CurlInternet::Open(std::string_view userAgent,
                                                    std::optional<std::string_view> proxyList) {
    return std::make_unique<CurlSession>(Setup{cookies_, options_, std::string(userAgent),
                                               proxyList ? ProxyAddress(*proxyList) : ""});
}

void CurlInternet::SetCookie(std::string_view url, std::string_view name, std::string_view data) {
    cookies_.SetCookie(url, name, data);
}

} // namespace net
