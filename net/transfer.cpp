#include "net/transfer.h"

#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <utility>

namespace net {

namespace {

constexpr std::size_t ReceiveBufferSize = 128 * 1024;

using Clock = std::chrono::steady_clock;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           text::ToLowerCase(text.substr(0, prefix.size())) == text::ToLowerCase(prefix);
}

// A header value goes out as valid as the request target: no control byte
// raw, and the Referer escaped like the address it repeats.
std::string WireHeaderLine(std::string_view line) {
    constexpr std::string_view Referer = "referer:";
    if (!StartsWithNoCase(line, Referer))
        return EscapeControls(line);
    const std::size_t value = std::min(line.find_first_not_of(' ', Referer.size()), line.size());
    return std::string(line.substr(0, value)) + RequestTarget(line.substr(value));
}

// libcurl is set up once for the process, on first use; since 7.84 that is
// safe from any thread.
CURLM* NewMulti() {
    static const CURLcode setUp = curl_global_init(CURL_GLOBAL_DEFAULT);
    return setUp == CURLE_OK ? curl_multi_init() : nullptr;
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        if (end != 0)
            lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

// "HTTP/1.1 200 OK": three digits after the first space.
int StatusCode(std::string_view head) {
    const auto space = head.find(' ');
    int code = 0;
    if (!head.starts_with("HTTP/") || space == std::string_view::npos || head.size() < space + 4 ||
        std::from_chars(head.data() + space + 1, head.data() + space + 4, code).ptr !=
            head.data() + space + 4)
        return 0;
    return code;
}

std::vector<std::string> Response::Values(std::string_view name) const {
    std::vector<std::string> values;
    for (const std::string_view line : Lines(head))
        if (line.size() > name.size() && line[name.size()] == ':' && StartsWithNoCase(line, name))
            values.push_back(text::TrimSpaces(line.substr(name.size() + 1)));
    return values;
}

Transfer::Transfer(Request request, CookieStore& cookies, const TransferOptions& options,
                   Sink& sink)
    : request_(std::move(request)), cookies_(cookies), options_(options), sink_(sink),
      multi_(NewMulti()) {
    if (!multi_ || !StartHop()) {
        result_ = CURLE_OUT_OF_MEMORY;
        end_ = TransferEnd::Broken;
    }
}

Transfer::~Transfer() {
    // curl reports the sockets it closes while the transfer goes; no one
    // listens any more.
    if (multi_ && loop_) {
        curl_multi_setopt(multi_.get(), CURLMOPT_SOCKETFUNCTION, nullptr);
        curl_multi_setopt(multi_.get(), CURLMOPT_TIMERFUNCTION, nullptr);
    }
    if (multi_ && easy_)
        curl_multi_remove_handle(multi_.get(), easy_.get());
}

bool Transfer::StartHop() {
    easy_.reset(curl_easy_init());
    if (!easy_)
        return false;
    response_ = {};
    headDone_ = false;
    moved_ = 0;
    RestartStallClock();

    // Headers curl would add of its own accord are switched off by naming
    // them without a value; the store's cookies follow the caller's lines.
    const Address& to = request_.address;
    headerList_.reset();
    const auto add = [this](const std::string& line) {
        if (curl_slist* longer = curl_slist_append(headerList_.get(), line.c_str())) {
            (void)headerList_.release();
            headerList_.reset(longer);
        }
    };
    for (const std::string& line : request_.headers)
        add(WireHeaderLine(line));
    for (const char* own :
         {"Accept:", "Expect:", "Content-Type:", "Content-Length:", "Proxy-Connection:"})
        add(own);
    const std::string path = to.path.substr(0, to.path.find_first_of("?#"));
    if (const std::string cookies = cookies_.CookieHeader(to.host, path, to.secure);
        !cookies.empty())
        add("Cookie: " + cookies);

    // The caller's own proxy keeps its meaning: plain http through it, the
    // rest direct. An http proxy gets the absolute form, with the port only
    // when it is not the default; a tunnel (https, SOCKS) gets the path.
    const std::string proxy = request_.proxy.empty() ? options_.proxies.For(to)
                              : to.secure            ? ""
                                                     : request_.proxy;
    const bool absolute = !proxy.empty() && !to.secure && !StartsWithNoCase(proxy, "socks");
    const std::string port = to.port == 80 ? "" : ":" + std::to_string(to.port);
    const std::string target =
        absolute ? "http://" + to.host + port + RequestTarget(to.path) : RequestTarget(to.path);
    CURL* easy = easy_.get();
    curl_easy_setopt(easy, CURLOPT_URL, (to.Origin() + "/").c_str());
    curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, target.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, request_.httpVersion);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request_.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());
    // An empty proxy also keeps curl from reading the environment its own way.
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    if (request_.verb == "POST") {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request_.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request_.body.data());
    } else if (request_.verb != "GET") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request_.verb.c_str());
    }
    curl_write_callback onHeader = [](char* data, std::size_t, std::size_t size, void* self) {
        return static_cast<Transfer*>(self)->OnHeaderLine({data, size}) ? size : 0;
    };
    curl_write_callback onBody = [](char* data, std::size_t, std::size_t size, void* self) {
        return static_cast<Transfer*>(self)->OnBody(data, size) ? size : 0;
    };
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(options_.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(ReceiveBufferSize));
    if (!options_.caFile.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, options_.caFile.c_str());
    return curl_multi_add_handle(multi_.get(), easy) == CURLM_OK;
}

void Transfer::Turn(std::chrono::milliseconds wait) {
    if (end_ != TransferEnd::Running)
        return;
    const std::uint64_t before = bodyBytes_;
    int running = 0;
    curl_multi_perform(multi_.get(), &running);
    Settle();
    if (end_ == TransferEnd::Running && bodyBytes_ == before)
        curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
}

// After curl has moved: a hop that ended, then the limits, which end the
// exchange as a broken transfer does: what came until then stands.
void Transfer::Settle() {
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
        if (message->msg == CURLMSG_DONE) {
            result_ = message->data.result;
            EndHop();
            break;
        }
    }
    if (end_ == TransferEnd::Running && Stalled())
        Finish(TransferEnd::Stalled);
    else if (end_ == TransferEnd::Running && std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 Clock::now() - started_) > options_.timeLimit)
        Finish(TransferEnd::TimedOut);
}

void Transfer::Drive(host::EventLoop& loop, std::function<void()> ended) {
    loop_ = &loop;
    ended_ = std::move(ended);
    CURLM* multi = multi_.get();
    if (end_ != TransferEnd::Running || !multi) {
        TellEnded();
        return;
    }
    curl_socket_callback onSocket = [](CURL*, curl_socket_t socket, int what, void* self, void*) {
        static_cast<Transfer*>(self)->OnSocket(socket, what);
        return 0;
    };
    curl_multi_timer_callback onTimer = [](CURLM*, long milliseconds, void* self) {
        static_cast<Transfer*>(self)->OnCurlTimer(milliseconds);
        return 0;
    };
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, onSocket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, onTimer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
    CheckLimitsLater();
    // The handle was added before curl had anyone to tell; start it now.
    Act(CURL_SOCKET_TIMEOUT, 0);
}

void Transfer::Act(curl_socket_t socket, int events) {
    if (end_ != TransferEnd::Running)
        return;
    int running = 0;
    curl_multi_socket_action(multi_.get(), socket, events, &running);
    Settle();
    if (end_ != TransferEnd::Running)
        TellEnded();
}

void Transfer::OnSocket(curl_socket_t socket, int what) {
    if (what == CURL_POLL_REMOVE) {
        sockets_.erase(socket);
        return;
    }
    const int events = (what & CURL_POLL_IN ? host::SocketReadable : 0) |
                       (what & CURL_POLL_OUT ? host::SocketWritable : 0);
    sockets_[socket] = loop_->WatchSocket(socket, events, [this, socket](int ready) {
        Act(socket, (ready & host::SocketReadable ? CURL_CSELECT_IN : 0) |
                        (ready & host::SocketWritable ? CURL_CSELECT_OUT : 0));
    });
}

void Transfer::OnCurlTimer(long milliseconds) {
    if (milliseconds < 0)
        curlTimer_.reset();
    else
        curlTimer_ = loop_->StartTimer(std::chrono::milliseconds(milliseconds),
                                       [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
}

// The stall rule and the time limit hold while nothing happens on the
// sockets, too.
void Transfer::CheckLimitsLater() {
    limitTimer_ = loop_->StartTimer(std::chrono::seconds(1), [this] {
        Settle();
        if (end_ != TransferEnd::Running)
            TellEnded();
        else
            CheckLimitsLater();
    });
}

void Transfer::TellEnded() {
    sockets_.clear();
    curlTimer_.reset();
    limitTimer_.reset();
    if (!ended_)
        return;
    loop_->PostWork([alive = std::weak_ptr<int>(alive_), ended = std::exchange(ended_, nullptr)] {
        if (alive.lock())
            ended();
    });
}

// A hop ends with its body read, on a failure, or cut short because it
// redirects; the exchange then goes on with the next hop or is over.
void Transfer::EndHop() {
    curl_multi_remove_handle(multi_.get(), easy_.get());
    if (next_) {
        request_.address = *std::exchange(next_, std::nullopt);
        if (StartHop())
            return;
        result_ = CURLE_OUT_OF_MEMORY;
    }
    if (cut_ != TransferEnd::Running)
        end_ = cut_;
    else
        end_ = result_ == CURLE_OK ? TransferEnd::Complete : TransferEnd::Broken;
}

void Transfer::Finish(TransferEnd end) {
    if (end_ != TransferEnd::Running)
        return;
    curl_multi_remove_handle(multi_.get(), easy_.get());
    next_.reset();
    end_ = end;
}

bool Transfer::Cut(TransferEnd why) {
    cut_ = why;
    return false;
}

// Connecting has a limit of its own; from the request on, the clock runs
// whenever neither the request nor the response moves, and what moves is
// measured over whole spans.
bool Transfer::Stalled() {
    curl_off_t ready = 0, sent = 0, bodyBytes = 0;
    long headerBytes = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_PRETRANSFER_TIME_T, &ready);
    curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_UPLOAD_T, &sent);
    curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_DOWNLOAD_T, &bodyBytes);
    curl_easy_getinfo(easy_.get(), CURLINFO_HEADER_SIZE, &headerBytes);
    const auto now = Clock::now();
    const auto progress = static_cast<std::uint64_t>(sent + headerBytes + bodyBytes);
    if (ready == 0) {
        RestartStallClock();
        return false;
    }
    if (progress != moved_) {
        moved_ = progress;
        lastMove_ = now;
    }
    const std::chrono::duration<double> span = now - spanStart_;
    if (now - lastMove_ > options_.stallTimeout)
        return true;
    if (span < options_.stallTimeout)
        return false;
    const bool slow =
        static_cast<double>(progress - spanStartBytes_) < MinimumByteRate * span.count();
    spanStart_ = now;
    spanStartBytes_ = progress;
    return slow;
}

// Also after the sink has taken its time: a wait for the user's choice is no stall.
void Transfer::RestartStallClock() {
    lastMove_ = spanStart_ = Clock::now();
    spanStartBytes_ = moved_;
}

bool Transfer::OnHeaderLine(std::string_view line) {
    if (headDone_)
        return true; // trailers after a chunked body
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.starts_with("HTTP/"))
        response_.head.clear();
    response_.head.append(line).append("\r\n");
    return line.empty() ? OnHead() : true;
}

// False ends the hop at once: neither a redirect's own body nor an unwanted
// one is read.
bool Transfer::OnHead() {
    response_.status = StatusCode(response_.head);
    if (response_.status >= 100 && response_.status < 200) {
        response_.status = 0;
        return true; // an interim response; the real one follows
    }
    headDone_ = true;
    const std::vector<std::string> location = response_.Values("location");
    if (!IsRedirect(response_.status) || location.empty()) {
        std::uint64_t length = 0;
        for (const std::string& value : response_.Values("content-length"))
            if (std::from_chars(value.data(), value.data() + value.size(), length).ec ==
                std::errc())
                response_.length = length;
        response_.url = request_.address.Url();
        final_ = response_;
        if (response_.length && *response_.length > options_.bodyLimit)
            return Cut(TransferEnd::TooLarge);
        const bool wanted = sink_.Begin(*final_);
        RestartStallClock();
        return wanted || Cut(TransferEnd::Refused);
    }
    const Address& from = request_.address;
    for (const std::string& cookie : response_.Values("set-cookie"))
        cookies_.SetCookie(from.Origin() + from.path, {}, cookie);
    if (redirects_ == MostRedirects)
        return Cut(TransferEnd::TooManyRedirects);
    next_ = ParseAddress(location.front(), from.Url());
    if (!next_ || (from.secure && !next_->secure)) {
        next_.reset();
        return Cut(TransferEnd::RedirectRefused);
    }
    ++redirects_;
    const int status = response_.status;
    if (status == 303 || ((status == 301 || status == 302) && request_.verb == "POST")) {
        request_.verb = "GET";
        request_.body.clear();
        std::erase_if(request_.headers, [](const std::string& line) {
            return StartsWithNoCase(line, "content-length:") ||
                   StartsWithNoCase(line, "content-type:");
        });
    }
    return false;
}

bool Transfer::OnBody(const char* data, std::size_t size) {
    if (size > options_.bodyLimit - bodyBytes_)
        return Cut(TransferEnd::TooLarge);
    bodyBytes_ += size;
    return sink_.Write(data, size) || Cut(TransferEnd::Refused);
}

} // namespace net
