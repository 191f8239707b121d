#include "net/webpageaccess.h"

#include "fakedesktop.h"
#include "fakeeventloop.h"
#include "fakeinternet.h"
#include "text/codepage.h"

#include <gtest/gtest.h>

namespace {

using nettest::FakeInternet;
using Strings = std::vector<std::string>;

constexpr std::string_view Accept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";

std::string Bytes(const text::ByteSet& body) {
    return {body.begin(), body.end()};
}

class WebPageAccessTest : public testing::Test {
  protected:
    fakes::FakeEventLoop loop;
    fakes::FakeDesktop desktop;
    FakeInternet internet;
    net::WebContext web{loop, desktop, internet};
};

TEST_F(WebPageAccessTest, PlainFetchSendsTheThreeDefaultHeadersAndClosesInOrder) {
    internet.bodyChunks = {"hel", "lo"};
    internet.rawHeaders = "HTTP/1.1 200 OK\r\n\r\n";
    text::Text url = " \xA1\xA1"
                     "192.0.2.1/a  ";
    EXPECT_EQ(net::FetchPageText(web, url), "hello");
    EXPECT_EQ(url, "http://192.0.2.1/a");
    EXPECT_EQ(internet.userAgent, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
    EXPECT_EQ(internet.proxyList, std::nullopt);
    EXPECT_EQ(internet.host, "192.0.2.1");
    EXPECT_EQ(internet.port, 80);
    EXPECT_EQ(internet.verb, "GET");
    EXPECT_EQ(internet.path, "/a");
    EXPECT_EQ(internet.version, "HTTP/1.1");
    EXPECT_EQ(internet.sentHeaders,
              std::string(Accept) + "Referer: http://192.0.2.1/a\r\nAccept-Language: zh-cn\r\n");
    EXPECT_EQ(internet.sentBody, "");
    const Strings expected = {
        "open",        "connect",       "open request",     "send",         "read", "read", "read",
        "raw headers", "close request", "close connection", "close session"};
    EXPECT_EQ(internet.calls, expected);
    // The window gets its turn before every read.
    EXPECT_EQ(loop.processEventsCalls, 3);
}

TEST_F(WebPageAccessTest, PostCompletesTheCallersHeadersInPlace) {
    text::Text url = "http://h/p?q";
    text::Text headers = "X-A: 1\r\naccept: text/html\r\n";
    text::Text response;
    net::WebPageAccess(web, url, net::AccessPost, {}, &headers, "x=1&y=2", "a=1", net::KeepBody,
                       &response);
    const std::string expected = "X-A: 1\r\naccept: text/html\r\nReferer: http://h/p?q\r\n"
                                 "Accept-Language: zh-cn\r\n"
                                 "Content-Type: application/x-www-form-urlencoded\r\n"
                                 "Content-Length: 7\r\nCookie: a=1\r\n\r\n";
    EXPECT_EQ(headers, expected);
    EXPECT_EQ(internet.sentHeaders, expected);
    EXPECT_EQ(internet.verb, "POST");
    EXPECT_EQ(internet.sentBody, "x=1&y=2");
}

TEST_F(WebPageAccessTest, HeaderVariantsFollowTheTextAtHand) {
    struct Row {
        int method;
        const char* given;
        const char* postData;
        const char* cookies;
        std::string sent;
    };
    const std::string referer = "Referer: http://h\r\n";
    const std::string language = "Accept-Language: zh-cn\r\n";
    const Row rows[] = {
        {net::AccessGet, "", "", "a=1",
         std::string(Accept) + referer + language + "Cookie: a=1\r\n\r\n"},
        {net::AccessGet, "", "ignored", "", std::string(Accept) + referer + language},
        {net::AccessPost, "", "", "", std::string(Accept) + referer + language},
        {net::AccessGet, "referer: x\r\nACCEPT-LANGUAGE: en\r\n", "", "",
         "referer: x\r\nACCEPT-LANGUAGE: en\r\n" + std::string(Accept)},
        // The tests look for the text anywhere, not for a header name.
        {net::AccessGet, "X-Accept: 1\r\n", "", "", "X-Accept: 1\r\n" + referer + language},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sent);
        text::Text url = "h";
        text::Text headers = row.given;
        net::WebPageAccess(web, url, row.method, {}, &headers, row.postData, row.cookies);
        EXPECT_EQ(internet.sentHeaders, row.sent);
        EXPECT_EQ(internet.sentBody, "");
    }
}

TEST_F(WebPageAccessTest, BadAccessMethodShowsTheMessageAndOpensNothing) {
    desktop.windows = {{30, true, desktop.CurrentProcessId()}};
    text::Text url = " h/x ";
    EXPECT_TRUE(net::WebPageAccess(web, url, 2).empty());
    EXPECT_EQ(url, "h/x");
    EXPECT_TRUE(internet.calls.empty());
    ASSERT_EQ(desktop.ownedBoxes.size(), 1u);
    EXPECT_EQ(desktop.ownedBoxes[0].owner, 30u);
    EXPECT_EQ(desktop.ownedBoxes[0].content,
              text::Gbk(u8"【网页_访问】命令的第二个【访问方式】参数有误,请返回修改"));
    EXPECT_EQ(desktop.ownedBoxes[0].caption, text::Gbk(u8"友情提醒"));
    EXPECT_EQ(desktop.ownedBoxes[0].style, 0x40);
}

TEST_F(WebPageAccessTest, ProxyOfBlanksIsDirectOtherwiseTakenAsPassed) {
    text::Text url = "h";
    net::WebPageAccess(web, url, 0, " \xA1\xA1 ");
    EXPECT_EQ(internet.proxyList, std::nullopt);
    net::WebPageAccess(web, url, 0, " 10.0.0.1:8080");
    EXPECT_EQ(internet.proxyList, "http= 10.0.0.1:8080");
}

TEST_F(WebPageAccessTest, SchemeIsAddedUnlessExactlyLowerCase) {
    const std::pair<const char*, const char*> rows[] = {
        {"https://h:8443/x", "https://h:8443/x"},
        {"HTTP://h/x", "http://HTTP://h/x"},
        {"http:/h", "http://http:/h"},
    };
    for (const auto& [given, normalised] : rows) {
        text::Text url = given;
        net::WebPageAccess(web, url);
        EXPECT_EQ(url, normalised);
        EXPECT_EQ(internet.connectUrl, normalised);
    }
    // The routine's own port rule stands; the platform reads the real one.
    text::Text secure = "https://h:8443/x";
    net::WebPageAccess(web, secure);
    EXPECT_EQ(internet.port, 0);
}

TEST_F(WebPageAccessTest, StoresEachSetCookieLineForTheHost) {
    internet.rawHeaders = "HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; path=/\r\nset-cookie: flag\r\n"
                          "X-Other: Set-Cookie: z=1\r\nSet-Cookie:no-blank=1\r\n\r\n";
    text::Text url = "http://192.0.2.1:81/x";
    text::Text response;
    net::WebPageAccess(web, url, 0, {}, nullptr, {}, {}, 0, &response);
    EXPECT_EQ(response, *internet.rawHeaders);
    // The marker counts anywhere in a line; the name is cut at the first "="
    // after the line's first twelve bytes.
    const std::vector<FakeInternet::StoredCookie> expected = {
        {"http://192.0.2.1", "sid", "abc; path=/"},
        {"http://192.0.2.1", "", "flag"},
        {"http://192.0.2.1", "-Cookie: z", "1"},
    };
    EXPECT_EQ(internet.cookies, expected);
    EXPECT_EQ(internet.calls.back(), "set cookie");
}

TEST_F(WebPageAccessTest, LongHeaderBlockKeepsItsCookies) {
    internet.rawHeaders =
        "HTTP/1.1 200 OK\r\nX-Filler: " + std::string(4000, 'f') + "\r\nSet-Cookie: late=1\r\n\r\n";
    text::Text url = "h";
    text::Text response;
    net::WebPageAccess(web, url, 0, {}, nullptr, {}, {}, 0, &response);
    EXPECT_EQ(response, *internet.rawHeaders);
    ASSERT_EQ(internet.cookies.size(), 1u);
    EXPECT_EQ(internet.cookies[0].name, "late");
}

TEST_F(WebPageAccessTest, NoResponseGivesBlankHeaderBlockAndNoCookies) {
    text::Text url = "h";
    text::Text response = "old";
    EXPECT_TRUE(net::WebPageAccess(web, url, 0, {}, nullptr, {}, {}, 0, &response).empty());
    EXPECT_EQ(response, std::string(2048, ' '));
    EXPECT_TRUE(internet.cookies.empty());
}

TEST_F(WebPageAccessTest, FailedStepsCloseWhatWasOpenAndLeaveOutputsAlone) {
    struct Row {
        bool FakeInternet::*failure;
        Strings calls;
    };
    const Row rows[] = {
        {&FakeInternet::failOpen, {"open"}},
        {&FakeInternet::failConnect, {"open", "connect", "close session"}},
        {&FakeInternet::failRequest,
         {"open", "connect", "open request", "close connection", "close session"}},
    };
    for (const Row& row : rows) {
        FakeInternet failing;
        failing.*row.failure = true;
        net::WebContext context{loop, desktop, failing};
        text::Text url = "h";
        text::Text headers = "X: 1\r\n";
        text::Text response = "untouched";
        EXPECT_TRUE(
            net::WebPageAccess(context, url, 0, {}, &headers, {}, {}, 0, &response).empty());
        EXPECT_EQ(failing.calls, row.calls);
        EXPECT_EQ(headers, "X: 1\r\n");
        EXPECT_EQ(response, "untouched");
    }
}

TEST_F(WebPageAccessTest, LineBreaksInUrlProxyOrCookiesAreRefused) {
    const std::string breaks[] = {"\r", "\n", std::string(1, '\0')};
    for (const std::string& bad : breaks) {
        text::Text url = "http://h/a" + bad + "X-Injected: 1";
        EXPECT_TRUE(net::WebPageAccess(web, url).empty());
        text::Text plain = "http://h/a";
        EXPECT_TRUE(net::WebPageAccess(web, plain, 0, "127.0.0.1:8080" + bad).empty());
        EXPECT_TRUE(
            net::WebPageAccess(web, plain, 0, {}, nullptr, {}, "a=1" + bad + "X: 1").empty());
    }
    EXPECT_TRUE(internet.calls.empty());
}

TEST_F(WebPageAccessTest, BodyWithZeroBytesComesBackWholeButItsTextStopsThere) {
    internet.bodyChunks = {std::string("ab\0cd", 5)};
    text::Text url = "h";
    EXPECT_EQ(Bytes(net::WebPageAccess(web, url)), std::string("ab\0cd", 5));
    internet.bodyChunks = {std::string("ab\0cd", 5)};
    EXPECT_EQ(net::FetchPageText(web, url), "ab");
}

TEST_F(WebPageAccessTest, ConversionsApplyToTheTextBeforeTheFirstZeroByte) {
    text::Text url = "h";
    internet.bodyChunks = {std::string("\xE4\xB8\xAD\xE6\x96\x87\0tail", 11)};
    EXPECT_EQ(Bytes(net::WebPageAccess(web, url, 0, {}, nullptr, {}, {}, net::Utf8Body)),
              "\xD6\xD0\xCE\xC4");
    internet.bodyChunks = {"\xA4\xA4\xA4\xE5"};
    EXPECT_EQ(Bytes(net::WebPageAccess(web, url, 0, {}, nullptr, {}, {}, net::Big5Body)),
              "\xD6\xD0\xCE\xC4");
}

TEST_F(WebPageAccessTest, ReadsInChunksOfAtMost1024Bytes) {
    internet.bodyChunks = {std::string(3000, 'x')};
    text::Text url = "h";
    EXPECT_EQ(net::WebPageAccess(web, url).size(), 3000u);
    EXPECT_EQ(internet.largestRead, 1024u);
    EXPECT_EQ(loop.processEventsCalls, 4);
}

} // namespace
