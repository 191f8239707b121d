#include "net/filedownload.h"

#include "net/downloadname.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace net {

namespace {

constexpr int MostTemporaryNames = 100;
constexpr auto SpeedInterval = std::chrono::seconds(1);
// The longest the worker waits on the network without looking at its stop
// request; a request wakes it at once anyway.
constexpr std::chrono::milliseconds WaitSlice{1000};

// A full disk is said plainly; the system's own words are English.
std::string FileErrorText(std::string_view failed, int error) {
    if (error == ENOSPC || error == EDQUOT)
        return FaultText(DownloadFault::DiskFull);
    return std::string(failed) + std::strerror(error);
}

std::string TransferErrorText(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "找不到服务器。";
    case CURLE_COULDNT_CONNECT:
        return FaultText(DownloadFault::Unreachable);
    case CURLE_OPERATION_TIMEDOUT:
        return FaultText(DownloadFault::TimedOut);
    case CURLE_PEER_FAILED_VERIFICATION:
        return FaultText(DownloadFault::Untrusted);
    case CURLE_SSL_CONNECT_ERROR:
        return "无法与服务器建立安全连接。";
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return FaultText(DownloadFault::Broken);
    default:
        return std::string("下载失败：") + curl_easy_strerror(code);
    }
}

// The temporary file beside the target: made exclusively under a free name,
// so it never replaces anything, and removed unless it was committed.
class PartFile final {
  public:
    explicit PartFile(std::filesystem::path target) : target_(std::move(target)) {
        for (int attempt = 0; attempt < MostTemporaryNames && !file_; ++attempt) {
            path_ = target_;
            path_ += attempt == 0 ? ".part" : "." + std::to_string(attempt) + ".part";
            file_ = std::fopen(path_.c_str(), "wbxe");
            error_ = file_ ? 0 : errno;
            if (error_ != EEXIST)
                break;
        }
    }
    ~PartFile() {
        if (file_) {
            std::fclose(file_);
            ::unlink(path_.c_str());
        }
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    explicit operator bool() const { return file_ != nullptr; }
    int Error() const { return error_; }

    bool Write(const char* data, std::size_t size) {
        if (std::fwrite(data, 1, size, file_) == size)
            return true;
        error_ = errno;
        return false;
    }

    bool Commit() {
        if (std::fclose(std::exchange(file_, nullptr)) == 0 &&
            ::rename(path_.c_str(), target_.c_str()) == 0)
            return true;
        error_ = errno;
        ::unlink(path_.c_str());
        return false;
    }

  private:
    std::filesystem::path target_;
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    int error_ = 0;
};

} // namespace

std::string FaultText(DownloadFault fault) {
    switch (fault) {
    case DownloadFault::DiskFull:
        return "磁盘空间不足，文件没有下载完整。";
    case DownloadFault::TimedOut:
        return "连接服务器超时。";
    case DownloadFault::Unreachable:
        return "无法连接到服务器。";
    case DownloadFault::Untrusted:
        return "服务器的安全证书不可信，下载已中止。";
    case DownloadFault::Broken:
        break;
    }
    return "连接中断，文件没有下载完整。";
}

std::optional<std::string> DownloadUrlError(std::string_view url) {
    if (std::ranges::any_of(url, [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
        return "下载地址含有控制字符，已拒绝。";
    if (!ParseAddress(url))
        return "只能下载以 http:// 或 https:// 开头的地址。";
    return std::nullopt;
}

// The body of a download: the server's name proposed, then, once the user has
// said where the file goes, into the part file, with the progress told.
class FileDownload::Receiver final : public Sink {
  public:
    Receiver(FileDownload& owner, std::stop_token stop) : owner_(owner), stop_(std::move(stop)) {}

    bool Begin(const Response& response) override;
    bool Write(const char* data, std::size_t size) override;
    std::string Failure(const Transfer& transfer);
    void Report();

  private:
    FileDownload& owner_;
    std::stop_token stop_;
    std::optional<PartFile> file_;
    std::string fileError_;
    std::uint64_t received_ = 0;
    std::chrono::steady_clock::time_point speedMark_;
    std::uint64_t speedMarkBytes_ = 0;
    double speed_ = 0;
};

// Waits, with the body held back, until the user has said where it goes.
bool FileDownload::Receiver::Begin(const Response& response) {
    if (response.status < 200 || response.status > 299)
        return false;
    const std::vector<std::string> disposition = response.Values("content-disposition");
    const std::string name =
        SuggestedFileName(response.url, disposition.empty() ? "" : disposition.front());
    owner_.Update([&](DownloadProgress& progress) {
        progress.suggestedName = name;
        progress.total = response.length;
        progress.state = owner_.target_ ? DownloadState::Receiving : DownloadState::AwaitingTarget;
    });
    const std::optional<std::filesystem::path> target = owner_.WaitForTarget(stop_);
    if (!target)
        return false;
    file_.emplace(*target);
    if (!*file_) {
        fileError_ = std::string("无法创建文件：") + std::strerror(file_->Error());
        file_.reset();
        return false;
    }
    speedMark_ = std::chrono::steady_clock::now();
    return true;
}

bool FileDownload::Receiver::Write(const char* data, std::size_t size) {
    if (!file_->Write(data, size)) {
        fileError_ = FileErrorText("无法写入文件：", file_->Error());
        return false;
    }
    received_ += size;
    Report();
    return true;
}

// The exchange is over and was not cancelled: the file under its name (no
// failure), or what went wrong.
std::string FileDownload::Receiver::Failure(const Transfer& transfer) {
    if (!fileError_.empty())
        return fileError_;
    if (transfer.End() == TransferEnd::TooManyRedirects)
        return "服务器转向的次数太多，下载已中止。";
    if (transfer.End() == TransferEnd::RedirectRefused)
        return "服务器把下载转向了不允许的地址，已拒绝。";
    const int status = transfer.Final() ? transfer.Final()->status : 0;
    if (status != 0 && (status < 200 || status > 299))
        return "服务器拒绝了下载（HTTP " + std::to_string(status) + "）。";
    if (transfer.End() == TransferEnd::Stalled)
        return "服务器长时间几乎没有传来数据，下载已中断。";
    if (transfer.End() != TransferEnd::Complete || !file_)
        return TransferErrorText(transfer.Result());
    if (!file_->Commit())
        return FileErrorText("无法保存文件：", file_->Error());
    Report();
    return {};
}

void FileDownload::Receiver::Report() {
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

FileDownload::FileDownload(std::string url, const CookieStore& cookies, TransferOptions options)
    : options_(std::move(options)) {
    options_.timeLimit = std::chrono::milliseconds::max();
    options_.bodyLimit = SIZE_MAX;
    if (const std::optional<std::string> error = DownloadUrlError(url)) {
        progress_.state = DownloadState::Failed;
        progress_.error = *error;
        return;
    }
    CookieStore snapshot = cookies;
    snapshot.SetObserver({});
    worker_ = std::jthread([this, address = *ParseAddress(url),
                            snapshot = std::move(snapshot)](std::stop_token stop) mutable {
        Run(std::move(stop), std::move(address), std::move(snapshot));
    });
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

// The request, its redirects one hop at a time (each with the cookies of its
// own host; what a redirect sets stays with this download, the program's
// store is not this thread's to change), and the body into the file.
void FileDownload::Run(std::stop_token stop, Address address, CookieStore cookies) {
    std::optional<std::string> failure; // none: cancelled
    {
        // The transfer, and with it any temporary file, is gone before the
        // end is told.
        Receiver receiver(*this, stop);
        Request request;
        request.address = std::move(address);
        request.headers = {"Accept: */*"};
        Transfer transfer(std::move(request), cookies, options_, receiver);
        const std::stop_callback wake(stop, [&transfer] { transfer.Wake(); });
        while (transfer.End() == TransferEnd::Running && !stop.stop_requested()) {
            transfer.Turn(WaitSlice);
            receiver.Report();
        }
        if (!stop.stop_requested())
            failure = receiver.Failure(transfer);
    }
    Update([&](DownloadProgress& progress) {
        progress.state = !failure           ? DownloadState::Cancelled
                         : failure->empty() ? DownloadState::Finished
                                            : DownloadState::Failed;
        progress.error = failure.value_or("");
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
