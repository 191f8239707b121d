#pragma once
// An HTTP service that answers from a script and writes down every call, in
// order, including the closing of each handle.

#include "net/internet.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

namespace nettest {

class FakeInternet final : public net::Internet {
  public:
    // The script.
    bool failOpen = false;
    bool failConnect = false;
    bool failRequest = false;
    std::deque<std::string> bodyChunks;
    std::optional<std::string> rawHeaders;
    // Set, it answers each request with the page it gives for the request's
    // host, port and path (none: nothing came), instead of `bodyChunks` and
    // `rawHeaders`; asked at the first read, as the answer comes over the wire
    // after the send.
    struct Page {
        std::string body;
        int status = 200;
    };
    std::function<std::optional<Page>(const std::string& host, int port, const std::string& path)>
        serve;
    // Why no response came, when none did.
    using Failure = net::HttpRequest::Failure;
    Failure failure = Failure::NoAnswer;
    // Set, answers to requests received without waiting stay here, in order,
    // until the test releases them, so that it can act while they wait.
    bool holdAnswers = false;
    std::deque<std::function<void()>> heldAnswers;
    void ReleaseAnswers() {
        for (auto answers = std::exchange(heldAnswers, {}); !answers.empty(); answers.pop_front())
            answers.front()();
    }

    // What the routine did.
    std::vector<std::string> calls;
    std::string userAgent;
    std::optional<std::string> proxyList;
    std::string host;
    int port = -1;
    std::string connectUrl;
    std::string verb, path, version;
    std::string sentHeaders, sentBody;
    std::size_t largestRead = 0;
    struct StoredCookie {
        std::string url, name, data;
        friend bool operator==(const StoredCookie&, const StoredCookie&) = default;
        friend std::ostream& operator<<(std::ostream& out, const StoredCookie& c) {
            return out << c.url << " [" << c.name << "] [" << c.data << "]";
        }
    };
    std::vector<StoredCookie> cookies;

    std::unique_ptr<net::InternetSession> Open(std::string_view agent,
                                               std::optional<std::string_view> proxies) override {
        calls.push_back("open");
        userAgent = agent;
        proxyList = proxies ? std::optional<std::string>(*proxies) : std::nullopt;
        return failOpen ? nullptr : std::make_unique<Session>(*this);
    }
    void SetCookie(std::string_view url, std::string_view name, std::string_view data) override {
        calls.push_back("set cookie");
        cookies.push_back({std::string(url), std::string(name), std::string(data)});
    }

  private:
    struct Handle {
        FakeInternet& net;
        const char* name;
        ~Handle() { net.calls.push_back(std::string("close ") + name); }
    };
    struct Request final : net::HttpRequest, Handle {
        explicit Request(FakeInternet& n) : Handle{n, "request"} {}
        std::vector<std::uint8_t> body;
        std::string host, path;
        int port = -1;
        // Its own: a request served in the middle of another reads its own body.
        std::optional<std::deque<std::string>> served;
        std::optional<std::string> servedHeaders;
        void Send(std::string_view headers, std::string_view body) override {
            net.calls.push_back("send");
            net.sentHeaders = headers;
            net.sentBody = body;
            host = net.host;
            port = net.port;
            path = net.path;
        }
        std::size_t Read(std::size_t most, const std::function<void()>&) override {
            net.calls.push_back("read");
            net.largestRead = std::max(net.largestRead, most);
            if (net.serve && !served) {
                served.emplace();
                if (auto page = net.serve(host, port, path)) {
                    served->push_back(std::move(page->body));
                    servedHeaders = "HTTP/1.1 " + std::to_string(page->status) + " Served\r\n\r\n";
                }
            }
            std::deque<std::string>& chunks = net.serve ? *served : net.bodyChunks;
            if (chunks.empty())
                return 0;
            std::string& chunk = chunks.front();
            const std::size_t count = std::min(most, chunk.size());
            body.insert(body.end(), chunk.begin(), chunk.begin() + static_cast<long>(count));
            chunk.erase(0, count);
            if (chunk.empty())
                chunks.pop_front();
            return count;
        }
        // The whole body at once, from the event loop; nothing once the
        // request has gone.
        void Receive(host::EventLoop& loop, std::function<void()> done) override {
            std::function<void()> answer = [this, alive = std::weak_ptr<int>(alive_), done] {
                if (!alive.lock())
                    return;
                while (Read(1024, {}) != 0) {
                }
                done();
            };
            if (net.holdAnswers)
                net.heldAnswers.push_back(std::move(answer));
            else
                loop.PostWork(std::move(answer));
        }
        std::shared_ptr<int> alive_ = std::make_shared<int>();
        std::vector<std::uint8_t> TakeBody() override { return std::move(body); }
        Failure WhyNoResponse() const override {
            return (net.serve ? servedHeaders : net.rawHeaders) ? Failure::None : net.failure;
        }
        std::optional<std::string> RawHeaders() const override {
            net.calls.push_back("raw headers");
            return net.serve ? servedHeaders : net.rawHeaders;
        }
    };
    struct Connection final : net::HttpConnection, Handle {
        explicit Connection(FakeInternet& n) : Handle{n, "connection"} {}
        std::unique_ptr<net::HttpRequest> OpenRequest(std::string_view v, std::string_view p,
                                                      std::string_view ver) override {
            net.calls.push_back("open request");
            net.verb = v;
            net.path = p;
            net.version = ver;
            return net.failRequest ? nullptr : std::make_unique<Request>(net);
        }
    };
    struct Session final : net::InternetSession, Handle {
        explicit Session(FakeInternet& n) : Handle{n, "session"} {}
        std::unique_ptr<net::HttpConnection> Connect(std::string_view h, int p,
                                                     std::string_view url) override {
            net.calls.push_back("connect");
            net.host = h;
            net.port = p;
            net.connectUrl = url;
            return net.failConnect ? nullptr : std::make_unique<Connection>(net);
        }
    };
};

} // namespace nettest
