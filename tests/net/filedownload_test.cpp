// The file download against loopback servers: whole files, servers that
// fail in the middle, redirects, cancels, and what is left on disk after
// each.

#include "downloadserver.h"
#include "fakedesktop.h"
#include "fakeeventloop.h"
#include "loopbackserver.h"
#include "net/curlinternet.h"
#include "net/filedownload.h"
#include "net/webpageaccess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using net::DownloadProgress;
using net::DownloadState;
using net::FileDownload;
using nettest::DownloadServer;
using nettest::FolderListing;
using nettest::Pattern;
using nettest::ReadFile;

// For an address inside a query.
std::string Escaped(std::string_view text) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const unsigned char c : text) {
        if (std::isalnum(c)) {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += Hex[c >> 4];
            escaped += Hex[c & 0xF];
        }
    }
    return escaped;
}

class FileDownloadTest : public testing::Test {
  protected:
    // Polls until `done` holds; the deadline only guards against a hang.
    static DownloadProgress WaitFor(const FileDownload& download,
                                    const std::function<bool(const DownloadProgress&)>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        DownloadProgress progress = download.Progress();
        while (!done(progress) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            progress = download.Progress();
        }
        EXPECT_TRUE(done(progress)) << "still in state " << static_cast<int>(progress.state);
        return progress;
    }
    static DownloadProgress WaitForEnd(const FileDownload& download) {
        return WaitFor(download, [](const DownloadProgress& p) { return p.Ended(); });
    }

    // Downloads `url` to folder/`name` and waits for the end.
    DownloadProgress Download(const std::string& url, const std::string& name = "out.bin",
                              net::TransferOptions options = {}) {
        FileDownload download(url, cookies, std::move(options));
        download.SaveTo(folder / name);
        return WaitForEnd(download);
    }

    DownloadServer server;
    net::CookieStore cookies;
    nettest::ScratchFolder scratch;
    const fs::path& folder = scratch.Path();
};

TEST_F(FileDownloadTest, CompleteDownloadIsByteIdenticalUnderTheFinalName) {
    const DownloadProgress end = Download(server.Url("/file/setup.exe?n=1000000"));
    EXPECT_EQ(end.state, DownloadState::Finished) << end.error;
    EXPECT_EQ(end.received, 1000000u);
    EXPECT_EQ(end.total, 1000000u);
    EXPECT_EQ(end.suggestedName, "setup.exe");
    EXPECT_TRUE(ReadFile(folder / "out.bin") == Pattern(1000000));
    EXPECT_EQ(FolderListing(folder), std::vector<std::string>{"out.bin"});
}

TEST_F(FileDownloadTest, SendsTheWebRoutinesUserAgent) {
    Download(server.Url("/file/a?n=10"));
    EXPECT_EQ(server.Header("/file/a", "User-Agent"),
              "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
}

TEST_F(FileDownloadTest, EmptyBodyMakesAnEmptyFile) {
    const DownloadProgress end = Download(server.Url("/empty"));
    EXPECT_EQ(end.state, DownloadState::Finished) << end.error;
    EXPECT_TRUE(fs::exists(folder / "out.bin"));
    EXPECT_EQ(fs::file_size(folder / "out.bin"), 0u);
}

TEST_F(FileDownloadTest, ServerClosingMidBodyFailsAndLeavesNoFile) {
    const DownloadProgress end = Download(server.Url("/cut"));
    EXPECT_EQ(end.state, DownloadState::Failed);
    EXPECT_FALSE(end.error.empty());
    EXPECT_TRUE(FolderListing(folder).empty());
}

TEST_F(FileDownloadTest, StalledServerFailsAfterTheStallTimeAndLeavesNoFile) {
    net::TransferOptions options;
    options.stallTimeout = std::chrono::seconds(1);
    const DownloadProgress end = Download(server.Url("/stall"), "out.bin", options);
    EXPECT_EQ(end.state, DownloadState::Failed);
    EXPECT_NE(end.error.find("中断"), std::string::npos) << end.error;
    EXPECT_TRUE(FolderListing(folder).empty());
}

TEST_F(FileDownloadTest, TransferEndingEarlyFailsAndLeavesNoFile) {
    const nettest::LoopbackServer raw;
    const struct {
        const char* how;
        DownloadState end;
    } rows[] = {
        {"chunked", DownloadState::Finished},  {"unsized", DownloadState::Finished},
        {"unfinished", DownloadState::Failed}, {"short", DownloadState::Failed},
        {"reset", DownloadState::Failed},
    };
    for (const auto& row : rows) {
        const DownloadProgress end =
            Download(raw.Url(std::string("/ending?how=") + row.how), row.how);
        EXPECT_EQ(end.state, row.end) << row.how << ": " << end.error;
        if (row.end == DownloadState::Finished) {
            EXPECT_TRUE(ReadFile(folder / row.how) == Pattern(20000)) << row.how;
            fs::remove(folder / row.how);
        } else {
            EXPECT_NE(end.error.find("没有下载完整"), std::string::npos) << end.error;
        }
        EXPECT_TRUE(FolderListing(folder).empty()) << row.how;
    }
}

TEST_F(FileDownloadTest, DripBelowOneBytePerSecondFailsAtTheEndOfItsSpan) {
    // A byte every 1.4 s never leaves the 3 s span without one: only the
    // average shows the stall.
    const nettest::LoopbackServer raw;
    net::TransferOptions options;
    options.stallTimeout = std::chrono::seconds(3);
    const DownloadProgress end = Download(raw.Url("/drip?every=1.4"), "out.bin", options);
    EXPECT_EQ(end.state, DownloadState::Failed);
    EXPECT_NE(end.error.find("中断"), std::string::npos) << end.error;
    EXPECT_TRUE(FolderListing(folder).empty());
}

constexpr int SkippedExitCode = 77;

TEST_F(FileDownloadTest, FullDiskIsSaidPlainlyAndLeavesNoFile) {
    // A new user and mount namespace needs a single-threaded process, and a
    // fork of this one (server threads) may hang, so the download runs in a
    // fresh process of this program that turns the folder into a 64 KiB file
    // system only it sees.
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable)
        environment.emplace_back(*variable);
    environment.push_back("LODESTONE_FULL_DISK_URL=" + server.Url("/file/big.bin?n=1000000"));
    environment.push_back("LODESTONE_FULL_DISK_FOLDER=" + folder.string());
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe", all = "--gtest_also_run_disabled_tests",
                filter = "--gtest_filter=FileDownloadOnFullDisk.DISABLED_InAProcessOfItsOwn";
    char* argv[] = {self.data(), all.data(), filter.data(), nullptr};

    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, argv[0], nullptr, nullptr, argv, envp.data()), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == SkippedExitCode)
        GTEST_SKIP() << "no mount namespace of our own here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Run only by the test above, in a process of its own.
TEST(FileDownloadOnFullDisk, DISABLED_InAProcessOfItsOwn) {
    const char* url = std::getenv("LODESTONE_FULL_DISK_URL");
    const char* folderName = std::getenv("LODESTONE_FULL_DISK_FOLDER");
    ASSERT_TRUE(url && folderName);
    const fs::path folder = folderName;
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        std::_Exit(SkippedExitCode);
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("none", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
        std::_Exit(SkippedExitCode);

    net::CookieStore cookies;
    FileDownload download(url, cookies);
    download.SaveTo(folder / "big.bin");
    DownloadProgress end = download.Progress();
    for (int waited = 0; !end.Ended() && waited < 30'000; waited += 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        end = download.Progress();
    }
    EXPECT_EQ(end.state, DownloadState::Failed);
    EXPECT_NE(end.error.find("磁盘空间不足"), std::string::npos) << end.error;
    EXPECT_TRUE(FolderListing(folder).empty());
}

TEST_F(FileDownloadTest, ErrorStatusIsAFailureNotAFile) {
    const DownloadProgress end = Download(server.Url("/missing"));
    EXPECT_EQ(end.state, DownloadState::Failed);
    EXPECT_NE(end.error.find("404"), std::string::npos) << end.error;
    EXPECT_TRUE(FolderListing(folder).empty());
}

TEST_F(FileDownloadTest, RefusedConnectionIsAFailure) {
    const DownloadProgress end = Download("http://127.0.0.1:1/x");
    EXPECT_EQ(end.state, DownloadState::Failed);
    EXPECT_NE(end.error.find("无法连接"), std::string::npos) << end.error;
    EXPECT_TRUE(FolderListing(folder).empty());
}

TEST_F(FileDownloadTest, FollowsRedirectsAndNamesTheFileAfterTheLastAddress) {
    const DownloadProgress end = Download(
        server.Url("/redirect?to=" + Escaped("/redirect?to=" + Escaped("/file/final.zip?n=5000"))));
    EXPECT_EQ(end.state, DownloadState::Finished) << end.error;
    EXPECT_EQ(end.suggestedName, "final.zip");
    EXPECT_TRUE(ReadFile(folder / "out.bin") == Pattern(5000));
}

TEST_F(FileDownloadTest, SendsStoredCookiesAndThoseARedirectSets) {
    cookies.SetCookie("http://127.0.0.1/", {}, "sid=abc; path=/");
    const DownloadProgress end = Download(server.Url("/redirect?to=/cookies"));
    EXPECT_EQ(end.state, DownloadState::Finished) << end.error;
}

TEST_F(FileDownloadTest, CookiesStayWithTheirHostAcrossARedirect) {
    cookies.SetCookie("http://127.0.0.1/", {}, "sid=abc; path=/");
    const std::string elsewhere =
        "http://localhost:" + std::to_string(server.Port()) + "/file/x?n=10";
    const DownloadProgress end = Download(server.Url("/redirect?to=" + Escaped(elsewhere)));
    EXPECT_EQ(end.state, DownloadState::Finished) << end.error;
    EXPECT_EQ(server.Header("/file/x", "Cookie"), "");
}

TEST_F(FileDownloadTest, ProposesTheContentDispositionNameBeforeTheBodyIsSaved) {
    FileDownload download(server.Url("/named"), cookies);
    const DownloadProgress headers = WaitFor(download, [](const DownloadProgress& p) {
        return p.state == DownloadState::AwaitingTarget || p.Ended();
    });
    EXPECT_EQ(headers.state, DownloadState::AwaitingTarget);
    EXPECT_EQ(headers.suggestedName, "新版.exe");
    EXPECT_EQ(headers.total, 2000u);
    EXPECT_TRUE(FolderListing(folder).empty());

    download.SaveTo(folder / headers.suggestedName);
    EXPECT_EQ(WaitForEnd(download).state, DownloadState::Finished);
    EXPECT_TRUE(ReadFile(folder / "新版.exe") == Pattern(2000));
}

TEST_F(FileDownloadTest, EscapesANonAsciiAddressAndNamesTheFileFromIt) {
    const DownloadProgress end = Download(server.Url("/file/新版 2.exe?n=10"));
    EXPECT_EQ(end.state, DownloadState::Finished) << end.error;
    EXPECT_EQ(end.suggestedName, "新版 2.exe");
}

TEST_F(FileDownloadTest, CancelWhileWaitingForTheTargetLeavesNothing) {
    FileDownload download(server.Url("/named"), cookies);
    WaitFor(download,
            [](const DownloadProgress& p) { return p.state == DownloadState::AwaitingTarget; });
    download.Cancel();
    EXPECT_EQ(WaitForEnd(download).state, DownloadState::Cancelled);
    EXPECT_TRUE(FolderListing(folder).empty());
}

TEST_F(FileDownloadTest, CancelOfASlowDownloadRemovesThePartialFile) {
    FileDownload download(server.Url("/slow"), cookies);
    download.SaveTo(folder / "slow.bin");
    const DownloadProgress running =
        WaitFor(download, [](const DownloadProgress& p) { return p.received > 2000 || p.Ended(); });
    EXPECT_EQ(running.state, DownloadState::Receiving);
    EXPECT_FALSE(running.total.has_value());
    EXPECT_EQ(FolderListing(folder), std::vector<std::string>{"slow.bin.part"});

    download.Cancel();
    EXPECT_EQ(WaitForEnd(download).state, DownloadState::Cancelled);
    EXPECT_TRUE(FolderListing(folder).empty());
}

TEST_F(FileDownloadTest, DestroyingARunningDownloadStopsItAndRemovesThePartialFile) {
    {
        FileDownload download(server.Url("/slow"), cookies);
        download.SaveTo(folder / "slow.bin");
        WaitFor(download, [](const DownloadProgress& p) { return p.received > 0 || p.Ended(); });
    }
    EXPECT_TRUE(FolderListing(folder).empty());
}

TEST_F(FileDownloadTest, NeverTouchesAnUnrelatedFileOfTheTemporaryName) {
    std::ofstream(folder / "out.bin.part") << "keep me";
    const DownloadProgress end = Download(server.Url("/file/a?n=100"));
    EXPECT_EQ(end.state, DownloadState::Finished) << end.error;
    EXPECT_EQ(ReadFile(folder / "out.bin.part"), "keep me");
    EXPECT_TRUE(ReadFile(folder / "out.bin") == Pattern(100));
}

TEST_F(FileDownloadTest, UnwritableFolderIsAFailure) {
    const DownloadProgress end = Download(server.Url("/file/a?n=100"), "no-such-folder/out.bin");
    EXPECT_EQ(end.state, DownloadState::Failed);
    EXPECT_NE(end.error.find("无法创建文件"), std::string::npos) << end.error;
}

TEST_F(FileDownloadTest, SeveralDownloadsRunAtOnce) {
    FileDownload slow(server.Url("/slow"), cookies);
    slow.SaveTo(folder / "slow.bin");
    FileDownload quick(server.Url("/file/a?n=300000"), cookies);
    quick.SaveTo(folder / "quick.bin");
    EXPECT_EQ(WaitForEnd(quick).state, DownloadState::Finished);
    EXPECT_FALSE(slow.Progress().Ended());
    EXPECT_TRUE(ReadFile(folder / "quick.bin") == Pattern(300000));
}

// Certificates are checked, and a secure download never goes on in the clear.
class SecureFileDownloadTest : public FileDownloadTest {
  protected:
    nettest::LoopbackServer tls{nettest::LoopbackServer::Tls::On};
    net::TransferOptions trusting{.caFile = tls.CertificateFile()};
};

TEST_F(SecureFileDownloadTest, DownloadsOverATrustedConnection) {
    const DownloadProgress end = Download(tls.SecureUrl("/size?n=5000"), "out.bin", trusting);
    EXPECT_EQ(end.state, DownloadState::Finished) << end.error;
    EXPECT_TRUE(ReadFile(folder / "out.bin") == Pattern(5000));
}

// What the transfer core refuses, it refuses for pages and downloads alike:
// endless redirects, a redirect to another scheme or from https back to
// http, an untrusted certificate. A page then comes back empty with a blank
// header block, a download fails and leaves nothing.
TEST_F(SecureFileDownloadTest, PagesAndDownloadsRefuseAlike) {
    const std::string plain = server.Url("/file/a?n=10");
    const struct {
        std::string url;
        bool trusted = true;
    } rows[] = {
        {server.Url("/loop")},
        {server.Url("/redirect?to=" + Escaped("file:///etc/passwd"))},
        {tls.SecureUrl("/redirect?to=" + Escaped(plain))},
        {tls.SecureUrl("/size?n=5000"), false},
    };
    fakes::FakeEventLoop loop;
    fakes::FakeDesktop desktop;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        const net::TransferOptions options = row.trusted ? trusting : net::TransferOptions{};
        const DownloadProgress end = Download(row.url, "out.bin", options);
        EXPECT_EQ(end.state, DownloadState::Failed);
        EXPECT_TRUE(FolderListing(folder).empty());
        net::CurlInternet internet{cookies, options};
        text::Text url = row.url, response;
        EXPECT_TRUE(net::WebPageAccess({loop, desktop, internet}, url, net::AccessGet, {}, nullptr,
                                       {}, {}, net::KeepBody, &response)
                        .empty());
        EXPECT_EQ(response, std::string(2048, ' '));
    }
    EXPECT_EQ(server.Header("/file/a", "User-Agent"), "(not requested)");
}

} // namespace
