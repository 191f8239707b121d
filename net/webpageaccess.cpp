#include "net/webpageaccess.h"

#include "net/ownermessagebox.h"
#include "net/transfer.h"
#include "net/url.h"
#include "text/codepage.h"
#include "text/encoding.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace net {

namespace {

using text::Text;

constexpr std::string_view DefaultAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
constexpr std::string_view DefaultLanguage = "Accept-Language: zh-cn\r\n";
constexpr std::string_view FormContentType = "Content-Type: application/x-www-form-urlencoded\r\n";
constexpr std::string_view SetCookieMarker = "Set-Cookie: ";
constexpr std::size_t ReadChunk = 1024;
// What the header block reads as when no response came.
constexpr int HeaderBufferSize = 2048;

bool Lacks(std::string_view headers, std::string_view name) {
    return text::FindText(headers, name, 1, true) == -1;
}

// These texts end up inside header lines (the Referer and Cookie lines) or
// name the proxy; a line break or NUL in them would make lines of its own.
bool BreaksLines(std::string_view text) {
    return text.find_first_of({"\r\n\0", 3}) != std::string_view::npos;
}

void CompleteHeaders(Text& headers, const Text& url, bool post, const Text& postData,
                     const Text& cookies) {
    if (Lacks(headers, "Accept: "))
        headers += DefaultAccept;
    if (Lacks(headers, "Referer: "))
        headers += text::JoinTexts("Referer: ", url, "\r\n");
    if (Lacks(headers, "Accept-Language: "))
        headers += DefaultLanguage;
    if (post && !postData.empty())
        headers += text::JoinTexts(
            FormContentType, "Content-Length: ", text::ToText(text::TextLength(postData)), "\r\n");
    if (!cookies.empty())
        headers += text::JoinTexts("Cookie: ", cookies, "\r\n\r\n");
}

// The body arrives straight in the request's own buffer. The window gets its
// turn before every 1 KiB of it, as the routine has always given it.
text::ByteSet ReadBody(host::EventLoop& loop, HttpRequest& request) {
    const std::function<void()> serveEvents = [&loop] { loop.ProcessEvents(); };
    do
        serveEvents();
    while (request.Read(ReadChunk, serveEvents) != 0);
    return request.TakeBody();
}

// Every line that holds "Set-Cookie: " stores a cookie for the request's host:
// the name is what stands before the first "=" after the marker's 12 bytes,
// the data all that follows it.
void StoreCookies(Internet& internet, const Text& hostName, const Text& headerBlock) {
    if (Lacks(headerBlock, SetCookieMarker))
        return;
    const Text cookieUrl = text::JoinTexts("http://", hostName);
    for (const std::string_view line : Lines(headerBlock)) {
        if (Lacks(line, SetCookieMarker))
            continue;
        const Text cookie =
            text::ReplaceRange(line, 1, static_cast<std::int64_t>(SetCookieMarker.size()));
        const int equals = text::FindText(cookie, "=");
        if (equals == -1)
            internet.SetCookie(cookieUrl, {}, cookie);
        else
            internet.SetCookie(cookieUrl, text::TextLeft(cookie, equals - 1),
                               text::TextRight(cookie, text::TextLength(cookie) - equals));
    }
}

text::ByteSet Convert(text::ByteSet body, int conversion) {
    switch (conversion) {
    case Utf8Body:
        return text::ToByteSet(text::Utf8ToGbk(text::ToText(body)));
    case Big5Body:
        return text::ToByteSet(text::Big5ToSimplifiedGbk(text::ToText(body)));
    default:
        return body;
    }
}

// One exchange of the routine: its handles, closed in the reverse order of
// their opening (request, connection, session).
struct Exchange {
    Text hostName;
    std::unique_ptr<InternetSession> session;
    std::unique_ptr<HttpConnection> connection;
    std::unique_ptr<HttpRequest> request;
};

// Everything up to the send; none when the request was not made.
std::optional<Exchange> Send(const WebContext& web, Text& url, int accessMethod, const Text& proxy,
                             Text* extraHeaders, const Text& postData, const Text& cookies) {
    url = text::TrimSpaces(url);
    if (accessMethod != AccessGet && accessMethod != AccessPost) {
        OwnerMessageBox(web.desktop,
                        text::Gbk(u8"【网页_访问】命令的第二个【访问方式】参数有误,请返回修改"));
        return std::nullopt;
    }
    const bool post = accessMethod == AccessPost;
    if (text::TextLeft(url, 7) != "http://" && text::TextLeft(url, 8) != "https://")
        url = text::JoinTexts("http://", url);
    if (BreaksLines(url) || BreaksLines(proxy) || BreaksLines(cookies))
        return std::nullopt;

    Exchange exchange{UrlHost(url), nullptr, nullptr, nullptr};
    std::optional<Text> proxyList;
    if (!text::RemoveSpaces(proxy).empty())
        proxyList = text::JoinTexts("http=", proxy);
    exchange.session = web.internet.Open(UserAgent, proxyList);
    if (!exchange.session)
        return std::nullopt;
    exchange.connection = exchange.session->Connect(exchange.hostName, UrlPort(url), url);
    if (!exchange.connection)
        return std::nullopt;
    exchange.request =
        exchange.connection->OpenRequest(post ? "POST" : "GET", UrlPath(url), "HTTP/1.1");
    if (!exchange.request)
        return std::nullopt;

    Text ownHeaders;
    Text& headers = extraHeaders ? *extraHeaders : ownHeaders;
    CompleteHeaders(headers, url, post, postData, cookies);
    exchange.request->Send(headers, post ? std::string_view(postData) : std::string_view());
    return exchange;
}

// The header block (blanks when no response came), read before the handles
// close.
Text CloseExchange(const WebContext& web, Exchange& exchange) {
    const std::optional<std::string> block = exchange.request->RawHeaders();
    exchange.request.reset();
    exchange.connection.reset();
    exchange.session.reset();
    const Text headerBlock =
        block ? text::TextFromBytes(*block) : text::SpaceText(HeaderBufferSize);
    StoreCookies(web.internet, exchange.hostName, headerBlock);
    return headerBlock;
}

int StatusOf(const Text& headerBlock, HttpRequest::Failure failure) {
    if (const int code = StatusCode(headerBlock))
        return code;
    switch (failure) {
    case HttpRequest::Failure::HostUnknown:
        return FetchHostUnknown;
    case HttpRequest::Failure::ConnectionRefused:
        return FetchConnectionRefused;
    default:
        return FetchNoAnswer;
    }
}

FetchedPage PageOf(const WebContext& web, Exchange& exchange, text::ByteSet body) {
    const HttpRequest::Failure failure = exchange.request->WhyNoResponse();
    const Text headerBlock = CloseExchange(web, exchange);
    return {{}, std::move(body), StatusOf(headerBlock, failure)};
}

class PendingPage final : public PageFetch {
  public:
    Exchange exchange;
};

} // namespace

text::ByteSet WebPageAccess(const WebContext& web, Text& url, int accessMethod, const Text& proxy,
                            Text* extraHeaders, const Text& postData, const Text& cookies,
                            int conversion, Text* responseHeaders) {
    std::optional<Exchange> exchange =
        Send(web, url, accessMethod, proxy, extraHeaders, postData, cookies);
    if (!exchange)
        return {};
    text::ByteSet body = ReadBody(web.loop, *exchange->request);
    const Text headerBlock = CloseExchange(web, *exchange);
    if (responseHeaders)
        *responseHeaders = headerBlock;
    return Convert(std::move(body), conversion);
}

Text FetchPageText(const WebContext& web, Text& url) {
    return text::ToText(WebPageAccess(web, url));
}

std::unique_ptr<PageFetch> StartPageFetch(const WebContext& web, Text url,
                                          std::function<void(FetchedPage)> done) {
    auto fetch = std::make_unique<PendingPage>();
    std::optional<Exchange> exchange = Send(web, url, AccessGet, {}, nullptr, {}, {});
    if (!exchange) {
        web.loop.PostWork([alive = fetch->Token(), done = std::move(done), url] {
            if (alive.lock())
                done({url, {}, FetchNotMade});
        });
        return fetch;
    }
    fetch->exchange = std::move(*exchange);
    HttpRequest& request = *fetch->exchange.request;
    // The request calls back from the event loop, so the fetch may end in
    // `done`: nothing of it is touched afterwards.
    request.Receive(web.loop, [web, &exchange = fetch->exchange, &request, url = std::move(url),
                               done = std::move(done)] {
        FetchedPage page = PageOf(web, exchange, request.TakeBody());
        page.url = url;
        done(std::move(page));
    });
    return fetch;
}

} // namespace net
