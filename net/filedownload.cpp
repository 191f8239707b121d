#include "net/filedownload.h"

#include "net/curlhandle.h"
#include "net/downloadname.h"
#include "text/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace net {

namespace {

// The same agent the web request routine presents.
constexpr const char* UserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr int MostRedirects = 10;
constexpr int MostTemporaryNames = 100;
constexpr auto SpeedInterval = std::chrono::seconds(1);
// The longest the worker sleeps without looking at its stop request; a
// request wakes it at once anyway.
constexpr int PollMs = 1000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           text::ToLowerCase(text.substr(0, prefix.size())) == text::ToLowerCase(prefix);
}

std::string UrlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK)
        return {};
    const curl::Text owned(text);
    return text;
}

// Where one request of a download goes.
struct Address {
    std::string url; // normalised: spaces and non-ASCII bytes escaped
    std::string host;
    std::string path; // without the query, as cookies are matched
    bool secure = false;
};

std::optional<Address> ParseAddress(std::string_view url) {
    if (std::ranges::any_of(url, [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
        return std::nullopt;
    const curl::UrlHandle handle(curl_url());
    const std::string text(url);
    // A space is percent-encoded like any other byte a plain address cannot
    // hold, as the request routine does; libcurl 8 refuses it without
    // CURLU_ALLOW_SPACE where 7.88 took it.
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, text.c_str(),
                                CURLU_URLENCODE | CURLU_ALLOW_SPACE) != CURLUE_OK)
        return std::nullopt;
    const std::string scheme = UrlPart(handle.get(), CURLUPART_SCHEME);
    Address address{UrlPart(handle.get(), CURLUPART_URL),
                    text::ToLowerCase(UrlPart(handle.get(), CURLUPART_HOST)),
                    UrlPart(handle.get(), CURLUPART_PATH), scheme == "https"};
    if ((scheme != "http" && scheme != "https") || address.host.empty() || address.url.empty())
        return std::nullopt;
    return address;
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// A full disk is said plainly; the system's own words are English.
std::string FileErrorText(std::string_view failed, int error) {
    if (error == ENOSPC || error == EDQUOT)
        return "磁盘空间不足，文件没有下载完整。";
    return std::string(failed) + ErrnoText(error);
}

std::string TransferErrorText(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "找不到服务器。";
    case CURLE_COULDNT_CONNECT:
        return "无法连接到服务器。";
    case CURLE_OPERATION_TIMEDOUT:
        return "连接服务器超时。";
    case CURLE_PEER_FAILED_VERIFICATION:
        return "服务器的安全证书不可信，下载已中止。";
    case CURLE_SSL_CONNECT_ERROR:
        return "无法与服务器建立安全连接。";
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return "连接中断，文件没有下载完整。";
    default:
        return std::string("下载失败：") + curl_easy_strerror(code);
    }
}

// The temporary file beside the target: made exclusively under a free name,
// so it never replaces anything, and removed unless it was committed.
class PartFile final {
  public:
    explicit PartFile(std::filesystem::path target) : target_(std::move(target)) {
        for (int attempt = 0; attempt < MostTemporaryNames && fd_ < 0; ++attempt) {
            path_ = target_;
            path_ += attempt == 0 ? ".part" : "." + std::to_string(attempt) + ".part";
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            error_ = fd_ < 0 ? errno : 0;
            if (error_ != EEXIST)
                break;
        }
    }
    ~PartFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!committed_ && (fd_ >= 0 || closed_))
            ::unlink(path_.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    explicit operator bool() const { return fd_ >= 0; }
    int Error() const { return error_; }

    bool Write(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = ::write(fd_, data, size);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                error_ = written < 0 ? errno : ENOSPC;
                return false;
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }

    bool Commit() {
        const int result = ::close(std::exchange(fd_, -1));
        closed_ = true;
        if (result != 0 || ::rename(path_.c_str(), target_.c_str()) != 0) {
            error_ = errno;
            return false;
        }
        committed_ = true;
        return true;
    }

  private:
    std::filesystem::path target_;
    std::filesystem::path path_;
    int fd_ = -1;
    int error_ = 0;
    bool closed_ = false;
    bool committed_ = false;
};

struct Outcome {
    DownloadState state = DownloadState::Failed;
    std::string error;
};

Outcome Failure(std::string error) {
    return {DownloadState::Failed, std::move(error)};
}

} // namespace

std::optional<std::string> DownloadUrlError(std::string_view url) {
    if (std::ranges::any_of(url, [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
        return "下载地址含有控制字符，已拒绝。";
    if (!ParseAddress(url))
        return "只能下载以 http:// 或 https:// 开头的地址。";
    return std::nullopt;
}

// One download on the worker thread: the request, its redirects one hop at a
// time (each with the cookies of its own host), and the body into the file.
class FileDownload::Transfer final {
  public:
    Transfer(FileDownload& owner, std::stop_token stop, CookieStore cookies)
        : owner_(owner), stop_(std::move(stop)), cookies_(std::move(cookies)) {}
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    Outcome Run(Address address);

  private:
    void Configure();
    CURLcode Exchange(const Address& address);
    std::optional<Address> RedirectTarget(const Address& from) const;
    void StoreCookies(const Address& from);
    Outcome Complete();
    bool OnHeaderLine(std::string_view line);
    bool OnResponseHeaders();
    bool OnBody(const char* data, std::size_t size);
    bool OpenFile();
    void Report();
    void RestartSpan();
    bool Stalled();

    static std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* self) {
        const std::size_t length = size * count;
        return static_cast<Transfer*>(self)->OnHeaderLine({data, length}) ? length : 0;
    }
    static std::size_t BodyCallback(char* data, std::size_t size, std::size_t count, void* self) {
        const std::size_t length = size * count;
        return static_cast<Transfer*>(self)->OnBody(data, length) ? length : 0;
    }
    static int ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* transfer = static_cast<Transfer*>(self);
        transfer->Report();
        return transfer->stop_.stop_requested() || transfer->Stalled() ? 1 : 0;
    }

    FileDownload& owner_;
    std::stop_token stop_;
    CookieStore cookies_;
    curl::Multi multi_{curl_multi_init()};
    curl::Easy easy_{curl_easy_init()};
    // A stop request interrupts the wait on the network at once.
    std::stop_callback<std::function<void()>> wake_{stop_, [this] {
                                                        if (multi_)
                                                            curl_multi_wakeup(multi_.get());
                                                    }};

    // The response of the current hop.
    std::string contentDisposition_;
    std::vector<std::string> setCookies_;
    bool bodyWanted_ = false;
    bool stalled_ = false;
    // Bytes (headers and body) of every hop, and where the current span of
    // the throughput rule began.
    std::uint64_t arrived_ = 0;
    std::chrono::steady_clock::time_point spanStart_;
    std::uint64_t spanStartBytes_ = 0;

    std::optional<PartFile> file_;
    std::string fileError_;
    std::uint64_t received_ = 0;
    std::chrono::steady_clock::time_point speedMark_;
    std::uint64_t speedMarkBytes_ = 0;
    double speed_ = 0;
};

Outcome FileDownload::Transfer::Run(Address address) {
    if (!multi_ || !easy_)
        return Failure("下载失败：内存不足。");
    Configure();
    for (int redirects = 0;; ++redirects) {
        const CURLcode result = Exchange(address);
        if (stop_.stop_requested())
            return {DownloadState::Cancelled, {}};
        if (!fileError_.empty())
            return Failure(fileError_);
        long status = 0;
        curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
        if (IsRedirect(status)) {
            StoreCookies(address);
            if (redirects == MostRedirects)
                return Failure("服务器转向的次数太多，下载已中止。");
            const std::optional<Address> next = RedirectTarget(address);
            if (!next)
                return Failure("服务器把下载转向了不允许的地址，已拒绝。");
            address = *next;
            continue;
        }
        if (status != 0 && (status < 200 || status > 299))
            return Failure("服务器拒绝了下载（HTTP " + std::to_string(status) + "）。");
        if (stalled_)
            return Failure("服务器长时间几乎没有传来数据，下载已中断。");
        if (result != CURLE_OK)
            return Failure(TransferErrorText(result));
        return Complete();
    }
}

void FileDownload::Transfer::Configure() {
    CURL* easy = easy_.get();
    const DownloadOptions& options = owner_.options_;
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L); // hop by hop, see Run
    curl_easy_setopt(easy, CURLOPT_USERAGENT, UserAgent);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
    // Direct, like the web request routine; an empty proxy also keeps curl
    // from taking one from the environment.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT,
                     static_cast<long>(options.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::BodyCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::ProgressCallback);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
}

// One request and its response; the result of the transfer, whatever the
// stop request or the file made of it.
CURLcode FileDownload::Transfer::Exchange(const Address& address) {
    contentDisposition_.clear();
    setCookies_.clear();
    bodyWanted_ = false;
    RestartSpan();
    const std::string cookies = cookies_.CookieHeader(address.host, address.path, address.secure);
    curl_easy_setopt(easy_.get(), CURLOPT_URL, address.url.c_str());
    curl_easy_setopt(easy_.get(), CURLOPT_COOKIE, cookies.empty() ? nullptr : cookies.c_str());
    if (curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_OK;
    for (bool done = false; !done && !stop_.stop_requested();) {
        int running = 0;
        curl_multi_perform(multi_.get(), &running);
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (!done)
            curl_multi_poll(multi_.get(), nullptr, 0, PollMs, nullptr);
    }
    curl_multi_remove_handle(multi_.get(), easy_.get());
    return result;
}

// Only to http and https, and never from https back to plain http.
std::optional<Address> FileDownload::Transfer::RedirectTarget(const Address& from) const {
    char* location = nullptr;
    curl_easy_getinfo(easy_.get(), CURLINFO_REDIRECT_URL, &location);
    std::optional<Address> next = location ? ParseAddress(location) : std::nullopt;
    if (next && from.secure && !next->secure)
        return std::nullopt;
    return next;
}

// What a redirect sets is sent on the next hops of this download only: the
// program's store is not this thread's to change.
void FileDownload::Transfer::StoreCookies(const Address& from) {
    for (const std::string& data : setCookies_)
        cookies_.SetCookie(from.url, {}, data);
}

// The body is all there: into the file (made now if the body was empty),
// and the file under its name.
Outcome FileDownload::Transfer::Complete() {
    if (!file_ && !OpenFile())
        return stop_.stop_requested() ? Outcome{DownloadState::Cancelled, {}} : Failure(fileError_);
    if (!file_->Commit())
        return Failure(FileErrorText("无法保存文件：", file_->Error()));
    Report();
    return {DownloadState::Finished, {}};
}

bool FileDownload::Transfer::OnHeaderLine(std::string_view line) {
    arrived_ += line.size();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
        contentDisposition_.clear();
        setCookies_.clear();
    } else if (line.empty()) {
        return OnResponseHeaders();
    } else if (constexpr std::string_view Name = "content-disposition:";
               StartsWithNoCase(line, Name)) {
        contentDisposition_ = line.substr(Name.size());
    } else if (constexpr std::string_view Name = "set-cookie:"; StartsWithNoCase(line, Name)) {
        setCookies_.emplace_back(line.substr(Name.size()));
    }
    return true;
}

// False ends the exchange: a failed response's body is not wanted.
bool FileDownload::Transfer::OnResponseHeaders() {
    long status = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || (status >= 300 && status < 400))
        return true; // an interim response, or a redirect whose body is dropped
    if (status > 299)
        return false;
    bodyWanted_ = true;
    curl_off_t length = -1;
    curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    char* url = nullptr;
    curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &url);
    const std::string name = SuggestedFileName(url ? url : "", contentDisposition_);
    owner_.Update([&](DownloadProgress& progress) {
        progress.suggestedName = name;
        if (length >= 0)
            progress.total = static_cast<std::uint64_t>(length);
        progress.state = owner_.target_ ? DownloadState::Receiving : DownloadState::AwaitingTarget;
    });
    return true;
}

bool FileDownload::Transfer::OnBody(const char* data, std::size_t size) {
    arrived_ += size;
    if (!bodyWanted_)
        return true;
    if (!file_ && !OpenFile())
        return false;
    if (!file_->Write(data, size)) {
        fileError_ = FileErrorText("无法写入文件：", file_->Error());
        return false;
    }
    received_ += size;
    Report();
    return true;
}

// Waits, with the body held back, until the user has said where it goes.
bool FileDownload::Transfer::OpenFile() {
    const std::optional<std::filesystem::path> target = owner_.WaitForTarget(stop_);
    if (!target)
        return false;
    file_.emplace(*target);
    if (!*file_) {
        fileError_ = "无法创建文件：" + ErrnoText(file_->Error());
        file_.reset();
        return false;
    }
    speedMark_ = std::chrono::steady_clock::now();
    RestartSpan();
    return true;
}

void FileDownload::Transfer::RestartSpan() {
    spanStart_ = std::chrono::steady_clock::now();
    spanStartBytes_ = arrived_;
}

// Connecting has a limit of its own; from the request on, what arrives is
// measured over whole spans, so that a server dripping a byte now and then
// cannot hold the download for ever. A wait for the user's choice is no stall.
bool FileDownload::Transfer::Stalled() {
    curl_off_t requestReady = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_PRETRANSFER_TIME_T, &requestReady);
    const std::chrono::duration<double> span = std::chrono::steady_clock::now() - spanStart_;
    if (requestReady == 0 || span < owner_.options_.stallWindow) {
        if (requestReady == 0)
            RestartSpan();
        return false;
    }
    stalled_ = static_cast<double>(arrived_ - spanStartBytes_) < MinimumByteRate * span.count();
    RestartSpan();
    return stalled_;
}

void FileDownload::Transfer::Report() {
    if (!file_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (const std::chrono::duration<double> span = now - speedMark_; span >= SpeedInterval) {
        speed_ = static_cast<double>(received_ - speedMarkBytes_) / span.count();
        speedMark_ = now;
        speedMarkBytes_ = received_;
    }
    owner_.Update([this](DownloadProgress& progress) {
        progress.received = received_;
        progress.bytesPerSecond = speed_;
    });
}

FileDownload::FileDownload(std::string url, const CookieStore& cookies, DownloadOptions options)
    : options_(std::move(options)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (const std::optional<std::string> error = DownloadUrlError(url)) {
        progress_.state = DownloadState::Failed;
        progress_.error = *error;
        return;
    }
    CookieStore snapshot = cookies;
    snapshot.SetObserver({});
    worker_ = std::jthread(
        [this, url = std::move(url), snapshot = std::move(snapshot)](std::stop_token stop) mutable {
            Run(std::move(stop), std::move(url), std::move(snapshot));
        });
}

FileDownload::~FileDownload() {
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
    curl_global_cleanup();
}

void FileDownload::SaveTo(std::filesystem::path file) {
    {
        const std::lock_guard lock(mutex_);
        if (target_)
            return;
        target_ = std::move(file);
        if (progress_.state == DownloadState::AwaitingTarget)
            progress_.state = DownloadState::Receiving;
    }
    targetGiven_.notify_all();
}

void FileDownload::Cancel() {
    worker_.request_stop();
}

DownloadProgress FileDownload::Progress() const {
    const std::lock_guard lock(mutex_);
    return progress_;
}

void FileDownload::Run(std::stop_token stop, std::string url, CookieStore cookies) {
    Outcome outcome;
    {
        // The transfer, and with it any temporary file, is gone before the
        // end is told.
        Transfer transfer(*this, stop, std::move(cookies));
        outcome = transfer.Run(*ParseAddress(url));
    }
    Update([&](DownloadProgress& progress) {
        progress.state = outcome.state;
        progress.error = std::move(outcome.error);
        progress.bytesPerSecond = 0;
    });
}

void FileDownload::Update(const std::function<void(DownloadProgress&)>& change) {
    const std::lock_guard lock(mutex_);
    change(progress_);
}

std::optional<std::filesystem::path> FileDownload::WaitForTarget(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (!targetGiven_.wait(lock, stop, [this] { return target_.has_value(); }))
        return std::nullopt;
    return target_;
}

} // namespace net
