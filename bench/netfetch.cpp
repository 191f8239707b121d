// One fetch for bench_net, in a process of its own so that its start-up and
// peak memory can be read: `bench_net_fetch ours|curl URL SIZE`.
//
// Both ways keep the whole body in memory, as the program must: the routine
// hands it back as a byte set, and the libcurl yardstick appends it to a
// string reserved from Content-Length. Writing to /dev/null instead (the curl
// tool's `-o /dev/null`) would leave out what storing a body costs.
//
// Built twice: without Qt and with the fake host, so that the process is a
// plain one and both ways share its baseline; and with the Qt host
// (LODESTONE_BENCH_QT_HOST), whose event processing runs in the read loop.
// Prints the seconds the exchange took; the exit code says whether the body
// had the expected size.

#include "net/cookiestore.h"
#include "net/curlinternet.h"
#include "net/webpageaccess.h"
#ifdef LODESTONE_BENCH_QT_HOST
#include "gui/qthost.h"

#include <QEventLoop>
#else
#include "fakedesktop.h"
#include "fakeeventloop.h"
#endif

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The exchange as the program makes it, from the start of the fetch to the
// page handed back on the event loop; the library's global set-up is done
// before.
template <typename Loop>
int FetchWithRoutine(Loop& loop, host::Desktop& desktop, net::CookieStore& cookies,
                     const std::string& address, std::size_t expected) {
    net::CurlInternet internet(cookies);
    const net::WebContext web{loop, desktop, internet};
    const auto start = Clock::now();
    std::optional<std::size_t> size;
#ifdef LODESTONE_BENCH_QT_HOST
    QEventLoop untilFetched;
    const auto fetch = net::StartPageFetch(web, address, [&](net::FetchedPage page) {
        size = page.body.size();
        untilFetched.quit();
    });
    untilFetched.exec();
#else
    const auto fetch = net::StartPageFetch(
        web, address, [&](net::FetchedPage page) { size = page.body.size(); });
    loop.RunUntil([&] { return size.has_value(); });
#endif
    std::printf("%.6f\n", SecondsSince(start));
    return size == expected ? 0 : 1;
}

int FetchOurs(int argc, char** argv, const std::string& address, std::size_t expected) {
    net::CookieStore cookies;
#ifdef LODESTONE_BENCH_QT_HOST
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    gui::QtHost host(argc, argv, cookies);
    host::EventLoop& loop = host;
    host::Desktop& desktop = host;
#else
    (void)argc;
    (void)argv;
    fakes::FakeEventLoop loop;
    fakes::FakeDesktop desktop;
#endif
    // As the yardstick does, before its clock starts; the program does it
    // once, at its first fetch.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return FetchWithRoutine(loop, desktop, cookies, address, expected);
}

#ifndef LODESTONE_BENCH_QT_HOST
struct Download {
    CURL* easy = nullptr;
    std::string body;
};

std::size_t KeepBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& download = *static_cast<Download*>(context);
    if (download.body.empty()) {
        curl_off_t length = -1;
        if (curl_easy_getinfo(download.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
                CURLE_OK &&
            length > 0)
            download.body.reserve(static_cast<std::size_t>(length));
    }
    download.body.append(data, size * count);
    return size * count;
}

// The yardstick: libcurl's easy interface as a plain program uses it, timed
// over the same span as the routine (handle set-up to clean-up).
int FetchWithLibcurl(const std::string& address, std::size_t expected) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const auto start = Clock::now();
    Download download;
    download.easy = curl_easy_init();
    curl_easy_setopt(download.easy, CURLOPT_URL, address.c_str());
    curl_easy_setopt(download.easy, CURLOPT_PROXY, ""); // direct, like the routine
    // The receive buffer the routine asks for, so that the two differ only in
    // what becomes of the bytes.
    curl_easy_setopt(download.easy, CURLOPT_BUFFERSIZE, 128L * 1024);
    curl_easy_setopt(download.easy, CURLOPT_WRITEFUNCTION, &KeepBody);
    curl_easy_setopt(download.easy, CURLOPT_WRITEDATA, &download);
    const CURLcode result = curl_easy_perform(download.easy);
    curl_easy_cleanup(download.easy);
    std::printf("%.6f\n", SecondsSince(start));
    curl_global_cleanup();
    return result == CURLE_OK && download.body.size() == expected ? 0 : 1;
}
#endif

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const std::string way = argv[1];
    const std::string address = argv[2];
    const std::size_t expected = std::stoull(argv[3]);
    if (way == "ours")
        return FetchOurs(argc, argv, address, expected);
#ifndef LODESTONE_BENCH_QT_HOST
    if (way == "curl")
        return FetchWithLibcurl(address, expected);
#endif
    return 2;
}
