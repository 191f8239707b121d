#pragma once
// The client's one way of fetching a web page: one complete HTTP exchange per
// call, the body handed back as a byte set (empty on every failure).

#include "host/desktop.h"
#include "host/eventloop.h"
#include "net/internet.h"
#include "text/byteset.h"
#include "text/text.h"

#include <functional>
#include <memory>

namespace net {

// What a request needs besides its own arguments: the event loop, served
// while the body is read and moving the fetches that do not wait; the
// desktop, for the box of the one error the routine shows; and the
// platform's HTTP service.
struct WebContext {
    host::EventLoop& loop;
    host::Desktop& desktop;
    Internet& internet;
};

enum AccessMethod : int { AccessGet = 0, AccessPost = 1 };
enum BodyConversion : int { KeepBody = 0, Utf8Body = 1, Big5Body = 2 };

// The caller's variables change in place: `url` is trimmed and given
// "http://" when it names neither "http://" nor "https://" (exact case);
// `extraHeaders` (lines ending in CR LF) gets the default headers appended;
// `responseHeaders` receives the response's header block, or 2048 blanks when
// no response came. Any other access method than GET or POST is refused with
// a message box; a request whose URL, proxy or cookies hold a line break or a
// NUL byte is refused silently. `conversion` turns the body from UTF-8 or
// Big5 into GBK (up to its first NUL byte).
text::ByteSet WebPageAccess(const WebContext& web, text::Text& url, int accessMethod = AccessGet,
                            const text::Text& proxy = {}, text::Text* extraHeaders = nullptr,
                            const text::Text& postData = {}, const text::Text& cookies = {},
                            int conversion = KeepBody, text::Text* responseHeaders = nullptr);

// How a fetch ended when no status code came with it.
enum FetchStatus : int {
    FetchNoAnswer = 0,           // nothing, or nothing within the limits
    FetchNotMade = -1,           // refused before it went out
    FetchConnectionRefused = -2, // by the server, or nobody listens there
    FetchHostUnknown = -3,
};

// GET with nothing but the URL; the body up to its first NUL byte.
text::Text FetchPageText(const WebContext& web, text::Text& url);

struct FetchedPage {
    text::Text url;     // as the routine completed it
    text::ByteSet body; // whole; FetchPageText's page is its text form
    int status = FetchNoAnswer;
};

// A page fetch under way. Destroying it abandons the exchange, and its
// `done` never runs.
class PageFetch {
  public:
    virtual ~PageFetch() = default;
    std::weak_ptr<int> Token() const { return alive_; }

  private:
    std::shared_ptr<int> alive_ = std::make_shared<int>();
};

// FetchPageText without waiting: the same request goes out, the events are
// served by the event loop meanwhile, and `done` gets the page from the event
// loop, never from inside this call.
std::unique_ptr<PageFetch> StartPageFetch(const WebContext& web, text::Text url,
                                          std::function<void(FetchedPage)> done);

} // namespace net
