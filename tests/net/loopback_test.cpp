// The request routine on libcurl against real servers on loopback, some of
// them misbehaving on purpose.

#include "fakedesktop.h"
#include "fakeeventloop.h"
#include "loopbackserver.h"
#include "net/curlinternet.h"
#include "net/filedownload.h"
#include "net/webpageaccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

using nettest::LoopbackServer;

constexpr std::string_view UserAgentLine =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n";
constexpr std::string_view AcceptLine =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
constexpr std::string_view LanguageLine = "Accept-Language: zh-cn\r\n";
const std::string Blanks(2048, ' ');

std::string Bytes(const text::ByteSet& body) {
    return {body.begin(), body.end()};
}

// Bytes i % 251, as the server makes them.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

// A line of /proc/self/status, in KiB.
std::size_t StatusKiB(std::string_view field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field))
            return std::stoul(line.substr(field.size()));
    return 0;
}

int Count(std::string_view text, std::string_view part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class LoopbackTest : public testing::Test {
  protected:
    explicit LoopbackTest(LoopbackServer::Tls tls = LoopbackServer::Tls::Off) : server(tls) {}

    // GET (or POST) with the caller's variables; the body as bytes.
    std::string Fetch(std::string address, int method = net::AccessGet,
                      const text::Text& proxy = {}, const text::Text& postData = {},
                      const text::Text& cookieText = {}) {
        url = std::move(address);
        return Bytes(net::WebPageAccess(web, url, method, proxy, &headers, postData, cookieText,
                                        net::KeepBody, &response));
    }
    std::string HostLine() const {
        return "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
    }
    std::string DefaultLines(const std::string& referer) const {
        return std::string(AcceptLine) + "Referer: " + referer + "\r\n" + std::string(LanguageLine);
    }

    LoopbackServer server;
    fakes::FakeEventLoop loop;
    fakes::FakeDesktop desktop;
    net::CookieStore cookies;
    // Short timeouts, so that the stalling server ends its test quickly.
    net::CurlInternet internet{cookies, {std::chrono::seconds(5), std::chrono::seconds(2), {}}};
    net::WebContext web{loop, desktop, internet};
    text::Text url, headers, response;
};

TEST_F(LoopbackTest, GetSendsExactlyTheRoutinesRequest) {
    const std::string address = server.Url("/echo?q=1");
    const std::string sent = Fetch(address);
    EXPECT_EQ(sent, "GET /echo?q=1 HTTP/1.1\r\n" + HostLine() + std::string(UserAgentLine) +
                        DefaultLines(address) + "\r\n");
    EXPECT_EQ(headers, DefaultLines(address));
    EXPECT_TRUE(response.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(response.ends_with("\r\n\r\n"));
}

TEST_F(LoopbackTest, PostSendsBodyAndItsHeadersThenTheCookieLine) {
    const std::string address = server.Url("/echo");
    const std::string sent = Fetch(address, net::AccessPost, {}, "x=1&y=2", "a=1");
    EXPECT_EQ(sent, "POST /echo HTTP/1.1\r\n" + HostLine() + std::string(UserAgentLine) +
                        DefaultLines(address) +
                        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n"
                        "Cookie: a=1\r\n\r\nx=1&y=2");
}

TEST_F(LoopbackTest, EmptyPostCarriesNoHeadersOfItsOwn) {
    const std::string address = server.Url("/echo");
    EXPECT_EQ(Fetch(address, net::AccessPost), "POST /echo HTTP/1.1\r\n" + HostLine() +
                                                   std::string(UserAgentLine) +
                                                   DefaultLines(address) + "\r\n");
}

TEST_F(LoopbackTest, CallersAcceptLineReplacesTheDefaultOne) {
    headers = "accept: text/html\r\n";
    const std::string address = server.Url("/echo");
    EXPECT_EQ(Fetch(address), "GET /echo HTTP/1.1\r\n" + HostLine() + std::string(UserAgentLine) +
                                  "accept: text/html\r\nReferer: " + address + "\r\n" +
                                  std::string(LanguageLine) + "\r\n");
}

TEST_F(LoopbackTest, CallersVariablesAfterTheCall) {
    EXPECT_EQ(Fetch(" 127.0.0.1:" + std::to_string(server.Port()) + "/hello "), "hello");
    EXPECT_EQ(url, server.Url("/hello"));
    EXPECT_EQ(headers, DefaultLines(server.Url("/hello")));
    EXPECT_EQ(response, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
}

TEST_F(LoopbackTest, CookiesSetAreStoredForTheHostAndSentLater) {
    EXPECT_EQ(Fetch(server.Url("/cookies")), "ok");
    const auto stored = cookies.Cookies();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].domain, "127.0.0.1");
    EXPECT_EQ(stored[0].name, "sid");
    EXPECT_EQ(stored[0].value, "abc");
    EXPECT_EQ(stored[0].path, "/");
    EXPECT_EQ(stored[1].name, "");
    EXPECT_EQ(stored[1].value, "flag");

    headers.clear();
    const std::string sent = Fetch(server.Url("/echo"), net::AccessGet, {}, {}, "a=1");
    // The store's line follows the caller's own, as the platform adds it.
    EXPECT_TRUE(sent.ends_with("Cookie: a=1\r\nCookie: sid=abc; flag\r\n\r\n")) << sent;
}

TEST_F(LoopbackTest, HeaderBlockOver2KiBKeepsItsCookies) {
    Fetch(server.Url("/big-header"));
    EXPECT_GT(response.size(), 3000u);
    EXPECT_NE(response.find("\r\nSet-Cookie: late=1\r\n"), std::string::npos);
    EXPECT_EQ(cookies.CookieHeader("127.0.0.1", "/", false), "late=1");
}

TEST_F(LoopbackTest, ThousandSetCookieLinesAreAllStoredAndSent) {
    EXPECT_EQ(Fetch(server.Url("/many-cookies?n=1000")), "ok");
    EXPECT_EQ(cookies.Cookies().size(), 1000u);
    headers.clear();
    const std::string sent = Fetch(server.Url("/echo"));
    EXPECT_EQ(Count(sent, "Cookie: "), 1);
    EXPECT_EQ(Count(sent, "; c"), 999);
}

TEST_F(LoopbackTest, UpperCaseSchemeIsPrefixedAgain) {
    // The host becomes "http"; the proxy shows what would have been asked.
    const std::string sent = Fetch("HTTP://127.0.0.1:1/echo", net::AccessGet,
                                   "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(url, "http://HTTP://127.0.0.1:1/echo");
    EXPECT_TRUE(
        sent.starts_with("GET http://http//HTTP://127.0.0.1:1/echo HTTP/1.1\r\nHost: http\r\n"))
        << sent;
}

TEST_F(LoopbackTest, ProxyOfBlanksIsADirectConnection) {
    EXPECT_TRUE(
        Fetch(server.Url("/echo"), net::AccessGet, "   ").starts_with("GET /echo HTTP/1.1\r\n"));
}

TEST_F(LoopbackTest, RealProxyGetsTheAbsoluteFormRequest) {
    const std::string address = "http://127.0.0.1:1/echo";
    const std::string sent =
        Fetch(address, net::AccessGet, " 127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(sent, "GET http://127.0.0.1:1/echo HTTP/1.1\r\nHost: 127.0.0.1:1\r\n" +
                        std::string(UserAgentLine) + DefaultLines(address) + "\r\n");
}

// The program's own requests, pages and downloads alike, take the road the
// environment names, read as the embedded browser reads it; loopback goes
// direct unless "<-loopback>" says otherwise. Nothing listens on port 1: only
// the proxy (the echo server) answers.
TEST_F(LoopbackTest, EnvironmentProxyCarriesPagesAndDownloadsAlike) {
    const std::string proxy = "127.0.0.1:" + std::to_string(server.Port());
    const struct {
        std::map<std::string, std::string> environment;
        bool proxied;
    } rows[] = {
        {{{"http_proxy", proxy}, {"no_proxy", "<-loopback>"}}, true},
        {{{"ALL_PROXY", "http://" + proxy}, {"NO_PROXY", "example.test,<-loopback>"}}, true},
        {{{"http_proxy", proxy}}, false},
        {{{"https_proxy", proxy}, {"no_proxy", "<-loopback>"}}, false},
        {{{"http_proxy", proxy}, {"no_proxy", "<-loopback> .0.0.1"}}, false},
        {{{"http_proxy", proxy}, {"no_proxy", "<-loopback>, 127.0.0.1:1"}}, false},
        // A name set in small letters, even empty, hides the one in capitals.
        {{{"http_proxy", ""}, {"HTTP_PROXY", proxy}, {"no_proxy", "<-loopback>"}}, false},
    };
    const std::string address = "http://127.0.0.1:1/echo";
    const std::string asked = "GET " + address + " HTTP/1.1\r\n";
    const auto file = std::filesystem::temp_directory_path() /
                      ("lodestone-proxy-test-" + std::to_string(getpid()));
    for (const auto& row : rows) {
        net::TransferOptions options{std::chrono::seconds(5), std::chrono::seconds(2), {}};
        options.proxies = net::ProxySettings::FromEnvironment([&](const char* name) {
            const auto found = row.environment.find(name);
            return found == row.environment.end() ? nullptr : found->second.c_str();
        });
        net::CurlInternet routed{cookies, options};
        url = address;
        const std::string page = Bytes(net::WebPageAccess({loop, desktop, routed}, url));
        net::FileDownload download(address, cookies, options);
        download.SaveTo(file);
        for (int waited = 0; !download.Progress().Ended() && waited < 10'000; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::ifstream saved(file, std::ios::binary);
        const std::string downloaded{std::istreambuf_iterator<char>(saved), {}};
        EXPECT_EQ(page.starts_with(asked), row.proxied) << page;
        EXPECT_EQ(downloaded.starts_with(asked), row.proxied) << downloaded;
        std::filesystem::remove(file);
    }
}

// Which proxy an http request is given. As for the browser, the proxy
// variables name http proxies whatever scheme they are written with, and only
// SOCKS_SERVER names a SOCKS one (whose SOCKS5 proxies look up names
// themselves); address ranges cover addresses only.
TEST(ProxySettings, KindsOfProxyAndRangesAsTheBrowserTakesThem) {
    const struct {
        std::map<std::string, std::string> environment;
        const char* url;
        const char* proxy;
    } rows[] = {
        {{{"HTTP_PROXY", "p"}}, "http://www.example.com/", "http://p:80"},
        {{{"all_proxy", "socks5://s:1"}, {"http_proxy", "p:2"}}, "http://a.b/", "http://s:1"},
        {{{"http_proxy", "https://u:pw@[::2]/"}}, "http://a.b/", "http://u:pw@[::2]:80"},
        {{{"http_proxy", "http://"}, {"SOCKS_SERVER", "s:1"}}, "http://a.b/", "socks5h://s:1"},
        {{{"SOCKS_SERVER", "socks4://s:1"}}, "http://a.b/", "socks4://s:1"},
        {{{"socks_server", "http://s:1"}, {"SOCKS_VERSION", "4"}}, "http://a.b/", "socks4://s:1"},
        {{{"SOCKS_SERVER", "s:1"}, {"https_proxy", "p:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:2"}, {"no_proxy", "10.0.0.0/8"}}, "http://10.1.2.3/", ""},
        {{{"http_proxy", "p:2"}, {"no_proxy", "10.0.0.0/9"}}, "http://10.128.0.1/", "http://p:2"},
        {{{"http_proxy", "p:2"}, {"no_proxy", "10.0.0.0/8"}}, "http://10.example/", "http://p:2"},
        {{{"http_proxy", "p:2"}, {"no_proxy", "2001:db8::/32"}}, "http://[2001:db8::1]/", ""},
        // Values the browser cannot read leave it direct, and so the program
        // (each measured against the browser with a logging proxy); an
        // unreadable all_proxy leaves the others in force.
        {{{"http_proxy", "p:2\r\n"}}, "http://a.b/", ""},
        {{{"http_proxy", "p\r\n:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "\r\np:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "p\x01:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "p%00:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "p%zz:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "p~:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:99999"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:65536"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:+2"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:2x"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:2:1"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:2//"}}, "http://a.b/", ""},
        {{{"http_proxy", "http://p:2/path/"}}, "http://a.b/", ""},
        {{{"http_proxy", "p:2?x"}}, "http://a.b/", ""},
        {{{"http_proxy", "a@b@p:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "[127.0.0.1]:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "http://:2"}}, "http://a.b/", ""},
        {{{"http_proxy", "http:/p:2"}}, "http://a.b/", ""},
        {{{"all_proxy", "p:99999"}, {"http_proxy", "q:3"}}, "http://a.b/", "http://q:3"},
        // What it can read it takes, odd characters too (both then fail).
        {{{"http_proxy", " \tp:2/ "}}, "http://a.b/", ""},
        {{{"http_proxy", " \tp:2/"}}, "http://a.b/", "http://p:2"},
        {{{"http_proxy", "bogus://http://p:0002"}}, "http://a.b/", "http://p:2"},
        {{{"http_proxy", "%70:0"}}, "http://a.b/", "http://p:0"},
        {{{"http_proxy", "p q|*:2"}}, "http://a.b/", "http://p q|*:2"},
        {{{"http_proxy", "u@::1:2"}}, "http://a.b/", "http://u@[::1]:2"},
        {{{"http_proxy", "u\r\n:p w#@p:2"}}, "http://a.b/", "http://u%0D%0A:p%20w%23@p:2"},
        {{{"SOCKS_SERVER", "s:1/x"}}, "http://a.b/", ""},
        {{{"SOCKS_SERVER", "s"}}, "http://a.b/", "socks5h://s:1080"},
        // A readable ftp_proxy keeps the SOCKS server from http too.
        {{{"ftp_proxy", "f:1"}, {"SOCKS_SERVER", "s:1"}}, "http://a.b/", ""},
        {{{"ftp_proxy", "f:99999"}, {"SOCKS_SERVER", "s:1"}}, "http://a.b/", "socks5h://s:1"},
    };
    for (const auto& row : rows) {
        const auto address = net::ParseAddress(row.url);
        ASSERT_TRUE(address) << row.url;
        EXPECT_EQ(net::ProxySettings::FromEnvironment([&](const char* name) {
                      const auto found = row.environment.find(name);
                      return found == row.environment.end() ? nullptr : found->second.c_str();
                  }).For(*address),
                  row.proxy)
            << row.environment.begin()->first << " " << row.url;
    }
}

TEST_F(LoopbackTest, ServerClosingMidBodyGivesTheBytesReadSoFar) {
    EXPECT_EQ(Fetch(server.Url("/close-mid-body")), std::string(300, 'x'));
    EXPECT_TRUE(response.starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST_F(LoopbackTest, StalledServerEndsTheCallWithWhatCame) {
    EXPECT_EQ(Fetch(server.Url("/stall?seconds=30")), std::string(100, 'x'));
}

TEST_F(LoopbackTest, RedirectIsFollowedAndItsCookieSentOnTheNextHop) {
    const std::string sent = Fetch(server.Url("/redirect?to=/echo"));
    EXPECT_TRUE(sent.starts_with("GET /echo HTTP/1.1\r\n")) << sent;
    EXPECT_TRUE(sent.ends_with("Cookie: hop=302\r\n\r\n")) << sent;
    EXPECT_TRUE(response.starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST_F(LoopbackTest, PostFollowsA302AsGetButA307AsPost) {
    const std::string asGet = Fetch(server.Url("/redirect?to=/echo"), net::AccessPost, {}, "x=1");
    EXPECT_TRUE(asGet.starts_with("GET /echo HTTP/1.1\r\n")) << asGet;
    EXPECT_EQ(Count(asGet, "Content-"), 0) << asGet;
    headers.clear();
    const std::string asPost =
        Fetch(server.Url("/redirect?code=307&to=/echo"), net::AccessPost, {}, "x=1");
    EXPECT_TRUE(asPost.starts_with("POST /echo HTTP/1.1\r\n")) << asPost;
    EXPECT_TRUE(asPost.ends_with("\r\n\r\nx=1")) << asPost;
}

TEST_F(LoopbackTest, ChunkedBodyIsJoinedAndTrailersLeftOut) {
    EXPECT_EQ(Fetch(server.Url("/chunked")), std::string("ab\0cde", 6) + std::string(5000, 'f'));
    EXPECT_EQ(response, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
}

TEST_F(LoopbackTest, ZeroBytesInTheBodyComeBackWhole) {
    EXPECT_EQ(Fetch(server.Url("/nul")), std::string("ab\0cd\0", 6));
    url = server.Url("/nul");
    EXPECT_EQ(net::FetchPageText(web, url), "ab");
}

TEST_F(LoopbackTest, EmptyBodyIsAnEmptyResult) {
    EXPECT_EQ(Fetch(server.Url("/empty")), "");
    EXPECT_EQ(response, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
}

TEST_F(LoopbackTest, Body64MiBArrivesIntact) {
    constexpr std::size_t size = 64u << 20;
    const std::string body = Fetch(server.Url("/size?n=" + std::to_string(size)));
    ASSERT_EQ(body.size(), size);
    for (std::size_t i = 0; i < size; i += 4093)
        ASSERT_EQ(static_cast<unsigned char>(body[i]), i % 251) << i;
}

TEST_F(LoopbackTest, LineBreaksAreRefusedAndBlanksInThePathEscaped) {
    EXPECT_EQ(Fetch(server.Url("/echo\r\nX-Injected: 1")), "");
    EXPECT_EQ(Fetch(server.Url("/echo"), net::AccessGet, {}, {}, "a=1\r\nX-Injected: 1"), "");
    headers.clear();
    EXPECT_TRUE(Fetch(server.Url("/echo?a b\tc")).starts_with("GET /echo?a%20b%09c HTTP/1.1\r\n"));
}

TEST_F(LoopbackTest, UserInformationIsNeverSentAsALogin) {
    // The host of this address is "user@127.0.0.1", not a server to log in to.
    EXPECT_EQ(Fetch("http://user@127.0.0.1:" + std::to_string(server.Port()) + "/echo"), "");
}

TEST_F(LoopbackTest, BytesThatCannotStandInARequestTargetAreEscaped) {
    // The Referer repeats the address and is escaped alike; a header of the
    // caller's own keeps no control byte raw. The caller's texts stay as given.
    const struct {
        std::string given, sent, header = {}, headerSent = {};
    } rows[] = {
        {"/echo?info_hash=AB#frag", "/echo?info_hash=AB%23frag"},
        {"/echo?info_hash=\xD6\xD0\xCE\xC4", "/echo?info_hash=%D6%D0%CE%C4"},
        {"/echo?a b\tc\x01\x7F", "/echo?a%20b%09c%01%7F"},
        {"/echo?kept=%41&x=/~!$'()*+,;=:@", "/echo?kept=%41&x=/~!$'()*+,;=:@"},
        {"/echo", "/echo", "X-Given: a\x01\tb\x7F\xD6\r\n", "X-Given: a%01%09b%7F\xD6\r\n"},
    };
    for (const auto& row : rows) {
        headers = row.header;
        const std::string address = server.Url(row.given);
        const std::string sent = Fetch(address);
        EXPECT_TRUE(sent.starts_with("GET " + row.sent + " HTTP/1.1\r\n")) << sent;
        EXPECT_NE(sent.find("\r\nReferer: " + server.Url(row.sent) + "\r\n"), std::string::npos)
            << sent;
        EXPECT_NE(sent.find(row.headerSent), std::string::npos) << sent;
        EXPECT_EQ(url, address) << "the caller's variable changed";
        EXPECT_EQ(headers, row.header + DefaultLines(address));
    }
}

TEST_F(LoopbackTest, ChunkedAndSizedBodiesArriveByteIdentical) {
    for (const std::size_t size : {0u, 1u, 1023u, 1024u, 1025u, 16u << 20}) {
        for (const std::string framing : {"", "&chunked=1"}) {
            const std::string body = Fetch(server.Url("/size?n=" + std::to_string(size) + framing));
            EXPECT_EQ(body.size(), size) << framing;
            EXPECT_TRUE(body == Pattern(size)) << size << framing;
        }
    }
}

TEST_F(LoopbackTest, BodyPastTheSizeLimitFailsWholeWithMemoryBounded) {
    constexpr std::size_t limit = 8u << 20;
    net::TransferOptions options{std::chrono::seconds(5), std::chrono::seconds(2), {}};
    options.bodyLimit = limit;
    net::CurlInternet limited{cookies, options};
    const net::WebContext limitedWeb{loop, desktop, limited};
    const std::string size = std::to_string(limit);
    const std::string past = std::to_string(limit + 1);
    const struct {
        std::string path;
        std::size_t body;
    } rows[] = {
        {"/endless", 0},
        {"/size?n=" + past, 0},
        {"/size?chunked=1&n=" + past, 0},
        {"/size?n=" + size, limit},
        {"/size?chunked=1&n=" + size, limit},
    };
    for (const auto& row : rows) {
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from here
        const std::size_t before = StatusKiB("VmRSS:");
        url = server.Url(row.path);
        EXPECT_EQ(net::WebPageAccess(limitedWeb, url).size(), row.body) << row.path;
        // The resident set may shrink meanwhile (a sanitizer's runtime gives
        // memory back), leaving the peak below the starting point.
        const std::size_t peak = StatusKiB("VmHWM:");
        EXPECT_LT(peak > before ? peak - before : 0, (limit + (64u << 20)) / 1024) << row.path;
    }
}

TEST_F(LoopbackTest, DrippingServerEndsAtTheExchangeTimeLimit) {
    net::TransferOptions options{std::chrono::seconds(5), std::chrono::seconds(2), {}};
    options.timeLimit = std::chrono::milliseconds(1500);
    net::CurlInternet limited{cookies, options};
    const net::WebContext limitedWeb{loop, desktop, limited};
    // A byte every 0.2 s never trips the stall time; the call still ends,
    // with what came.
    url = server.Url("/drip?every=0.2");
    const std::string body = Bytes(net::WebPageAccess(limitedWeb, url));
    EXPECT_FALSE(body.empty());
    EXPECT_LT(body.size(), 20u);
    EXPECT_EQ(body, std::string(body.size(), 'x'));
}

TEST_F(LoopbackTest, SlowServerLeavesTheWindowServed) {
    EXPECT_EQ(Fetch(server.Url("/slow")), "slow!");
    // Five bytes 0.1 s apart: far more turns for the window than reads.
    EXPECT_GT(loop.processEventsCalls, 12);
}

TEST_F(LoopbackTest, RequestNestedInTheReadLoopIsIndependent) {
    text::Text nestedUrl = server.Url("/hello");
    text::Text nestedBody;
    bool started = false;
    loop.duringEvents = [&] {
        if (!std::exchange(started, true))
            nestedBody = net::FetchPageText(web, nestedUrl);
    };
    EXPECT_EQ(Fetch(server.Url("/slow")), "slow!");
    EXPECT_EQ(nestedBody, "hello");
}

// The program's own fetches go on from the event loop; they put the same
// bytes on the wire and come back with what the waiting routine returns.
TEST_F(LoopbackTest, AFetchWithoutWaitingEndsAsTheRoutineDoes) {
    const auto fetchLater = [this](const std::string& address) {
        std::optional<net::FetchedPage> page;
        const auto fetch =
            net::StartPageFetch(web, address, [&](net::FetchedPage done) { page = done; });
        EXPECT_FALSE(page) << "never from inside the call";
        EXPECT_TRUE(loop.RunUntil([&] { return page.has_value(); }));
        return page.value_or(net::FetchedPage{});
    };
    int refusedPort = 0;
    {
        const LoopbackServer gone;
        refusedPort = gone.Port();
    }
    const std::string refused = "http://127.0.0.1:" + std::to_string(refusedPort) + "/";
    const struct {
        std::string address;
        int status;
    } rows[] = {
        {server.Url("/echo?q=1"), 200},         {server.Url("/redirect?to=/echo"), 200},
        {server.Url("/chunked"), 200},          {server.Url("/nul"), 200},
        {server.Url("/close-mid-body"), 200},   {server.Url("/stall?seconds=30"), 200},
        {server.Url("/size?n=1048576"), 200},   {server.Url("/missing"), 404},
        {refused, net::FetchConnectionRefused}, {"http://x\r\ny/", net::FetchNotMade},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        text::Text waited = row.address;
        const text::Text body = net::FetchPageText(web, waited);
        const net::FetchedPage later = fetchLater(row.address);
        EXPECT_EQ(text::ToText(later.body), body);
        EXPECT_EQ(later.status, row.status);
        EXPECT_EQ(later.url, waited);
    }
}

TEST_F(LoopbackTest, AFetchGivenUpNeverAnswers) {
    bool answered = false;
    auto fetch =
        net::StartPageFetch(web, server.Url("/slow"), [&](net::FetchedPage) { answered = true; });
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(150));
    fetch.reset();
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(700));
    EXPECT_FALSE(answered);
}

class SecureLoopbackTest : public LoopbackTest {
  protected:
    SecureLoopbackTest() : LoopbackTest(LoopbackServer::Tls::On) {}
    // Trusts the server's own certificate.
    net::CurlInternet trustedInternet{
        cookies, {std::chrono::seconds(5), std::chrono::seconds(2), server.CertificateFile()}};
};

TEST_F(SecureLoopbackTest, TrustedCertificateGoesToTheUrlsPort) {
    net::WebContext trusted{loop, desktop, trustedInternet};
    url = server.SecureUrl("/hello");
    EXPECT_EQ(net::FetchPageText(trusted, url), "hello");
}

} // namespace
