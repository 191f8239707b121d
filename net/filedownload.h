#pragma once
// The download of one http or https address to a file, on a worker thread
// of its own. The request goes out at once; the file it is saved to may be
// named later, once the server's headers have proposed a name, and until
// then the body waits. The file is written under a temporary name beside
// the target and takes the target's name only when it is complete; a
// download that fails or is cancelled leaves nothing behind. The file is
// never opened or run.

#include "net/cookiestore.h"
#include "net/transfer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace net {

enum class DownloadState {
    Connecting,     // the request is out; no usable response yet
    AwaitingTarget, // the response has come; the body waits for SaveTo
    Receiving,
    Finished,
    Failed,
    Cancelled,
};

struct DownloadProgress {
    DownloadState state = DownloadState::Connecting;
    std::uint64_t received = 0;
    std::optional<std::uint64_t> total; // as the server announced it
    double bytesPerSecond = 0;          // over the last second or so
    std::string suggestedName;          // UTF-8; once the response has come
    std::string error;                  // UTF-8, for the user; when Failed

    bool Ended() const {
        return state == DownloadState::Finished || state == DownloadState::Failed ||
               state == DownloadState::Cancelled;
    }
};

// The ends that downloads of every kind share, in the words the user reads.
enum class DownloadFault { DiskFull, TimedOut, Unreachable, Untrusted, Broken };
std::string FaultText(DownloadFault fault);

// Why `url` (UTF-8) may not be downloaded, for the user; none when it may.
// Only http and https addresses with a host are taken, and nothing in them
// may break a request line.
std::optional<std::string> DownloadUrlError(std::string_view url);

class FileDownload final {
  public:
    // Starts the download of `url` (UTF-8). The cookies that apply are taken
    // from `cookies` here, on the caller's thread; cookies that redirects set
    // stay with this download. A refused address fails at once. A download
    // stalls as any exchange does, but has no size or time limit: large files
    // are slow.
    FileDownload(std::string url, const CookieStore& cookies, TransferOptions options = {});
    FileDownload(const FileDownload&) = delete;
    FileDownload& operator=(const FileDownload&) = delete;

    // Where the file goes; the first call counts. May come before or after
    // the response.
    void SaveTo(std::filesystem::path file);
    // Stops the download and removes what it wrote; no effect once it ended.
    void Cancel();

    DownloadProgress Progress() const;

  private:
    class Receiver;
    void Run(std::stop_token stop, Address address, CookieStore cookies);
    void Update(const std::function<void(DownloadProgress&)>& change);
    // The target, once given; none when the download was cancelled first.
    std::optional<std::filesystem::path> WaitForTarget(std::stop_token stop);

    TransferOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable_any targetGiven_;
    DownloadProgress progress_;
    std::optional<std::filesystem::path> target_;
    // Last: going first, it cancels a running download and waits for it.
    std::jthread worker_;
};

} // namespace net
