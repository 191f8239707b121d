// Clicking result links in the portal page: what is played, fetched, copied
// and shown.

#include "apptestbed.h"
#include "text/codepage.h"

#include <functional>
#include <map>

namespace {

using app::MainWindow;
using app::PlayerWindow;

// The torrent page as the portal writes it: UTF-8, each cache link followed
// by its class attribute.
std::string TorrentPage(const std::string& aPath, const std::string& bPath) {
    return "<html><body><h1>种子信息</h1>"
           "<a href=\"http://cachea.test" +
           aPath +
           "\" class=\"cache\">缓存 A</a>"
           "<a href=\"http://cacheb.test:8004" +
           bPath +
           "\" class=\"cache\">缓存 B</a>"
           "</body></html>";
}

text::Text ExpectedCopyText(const text::Text& hash, const text::Text& aPath,
                            const text::Text& bPath) {
    return text::Gbk(u8"磁力链接：") + "\r\nmagnet:?xt=urn:btih:" + hash + "\r\n" +
           text::Gbk(u8"种子地址：") + "\r\nhttp://cachea.test" + aPath +
           "\r\nhttp://cacheb.test:8004" + bPath;
}

class LinkCaptureTest : public AppTestBed {
  protected:
    void SetUp() override {
        Start();
        portal.Serve("/torrent", TorrentPage("/t/ABC.torrent", "/b/ABC.torrent"));
    }
};

TEST_F(LinkCaptureTest, TorrentLinkFetchesThePageCopiesFiveLinesAndConfirms) {
    EXPECT_TRUE(TorrentLink("ABC"));
    ASSERT_EQ(portal.Requests(), std::vector<std::string>{"/torrent?info_hash=ABC"});
    const text::Text expected = ExpectedCopyText("ABC", "/t/ABC.torrent", "/b/ABC.torrent");
    ASSERT_EQ(notices.clipboard.size(), 1u);
    EXPECT_EQ(notices.clipboard[0], expected);
    ASSERT_EQ(notices.boxes.size(), 1u);
    EXPECT_EQ(notices.boxes[0].content, expected);
    EXPECT_EQ(notices.boxes[0].style, 64);
    EXPECT_EQ(notices.boxes[0].caption, text::Gbk(u8"地址复制成功,请粘贴到空白处"));
    EXPECT_FALSE(windows.IsCreated(PlayerWindow));
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 1);
}

// The engine's page waits for the answer to its request: the handler answers
// at once, and the click acts from the event loop afterwards, on the hash it
// captured even when a pop-up came in between.
TEST_F(LinkCaptureTest, TheRequestIsAnsweredBeforeTheLinkActs) {
    const auto request = [this](bool byUser) {
        host::ComObject slot;
        bool cancel = false;
        windows.Component(app::MainBrowser).onNewWindow(slot, cancel, byUser);
        EXPECT_TRUE(cancel && slot);
    };
    windows.HoverLink(app::MainBrowser, "http://127.0.0.1:47901/magnet/torrent?info_hash=ABC");
    request(true);
    EXPECT_TRUE(portal.Requests().empty());
    EXPECT_FALSE(windows.IsCreated(PlayerWindow));
    windows.HoverLink(app::MainBrowser, "http://127.0.0.1:47901/torrent?info_hash=POPUP");
    request(false);

    loop.ProcessEvents();
    ASSERT_TRUE(windows.IsCreated(PlayerWindow));
    EXPECT_TRUE(frames.navigations.back().url.ends_with("btih:ABC"));
    EXPECT_EQ(portal.Requests(), std::vector<std::string>{"/torrent?info_hash=ABC"});
    ASSERT_EQ(notices.boxes.size(), 1u);
    EXPECT_EQ(notices.boxes[0].content,
              ExpectedCopyText("ABC", "/t/ABC.torrent", "/b/ABC.torrent"));
}

TEST_F(LinkCaptureTest, HashIsEverythingAfterTheLastMarker) {
    struct Case {
        const char* status;
        const char* hash;
    } cases[] = {
        {"http://portal.test/torrent?info_hash=X&info_hash=ABC", "ABC"},
        {"http://portal.test/torrent?info_hash=ABC&x=1", "ABC&x=1"},
        {"http://portal.test/torrent?info_hash=", ""},
        {"http://portal.test/torrent?INFO_HASH=ABC", ""},
    };
    for (const auto& c : cases) {
        ClickLink(c.status);
        EXPECT_EQ(globals().CapturedInfoHash, c.hash) << c.status;
        EXPECT_EQ(portal.Requests().back(), std::string("/torrent?info_hash=") + c.hash);
        EXPECT_EQ(notices.clipboard.back().find("magnet:?xt=urn:btih:" + std::string(c.hash) +
                                                "\r\n") != std::string::npos,
                  true);
    }
}

TEST_F(LinkCaptureTest, MarkersAreMatchedWithExactCase) {
    EXPECT_TRUE(ClickLink("Magnet?info_hash=ABC"));
    EXPECT_FALSE(windows.IsCreated(PlayerWindow));
    EXPECT_TRUE(ClickLink("http://portal.test/Torrent?info_hash=ABC"));
    EXPECT_TRUE(portal.Requests().empty());
    EXPECT_TRUE(notices.boxes.empty());
    EXPECT_EQ(globals().CapturedInfoHash, "ABC") << "the hash is taken on every request";
}

TEST_F(LinkCaptureTest, ALinkWithBothMarkersPlaysThenCopies) {
    EXPECT_TRUE(ClickLink("http://portal.test/magnet/torrent?info_hash=ABC"));
    EXPECT_TRUE(windows.IsCreated(PlayerWindow));
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 0);
    EXPECT_EQ(notices.clipboard.size(), 1u);
    EXPECT_EQ(notices.boxes.size(), 1u);
}

TEST_F(LinkCaptureTest, CacheCutsRunToTheFirstClassAttributeWhateverTheHostCase) {
    portal.Serve("/torrent", "<p>http://CACHEA.TEST/first.torrent\" target=\"_blank\" class=\"x\">"
                             "<a href=\"http://cachea.test/second.torrent\" class=\"y\">"
                             "<a href=\"http://cacheb.test:8004/b.torrent\" class=\"y\"></p>");
    TorrentLink("ABC");
    EXPECT_EQ(globals().CacheAPath, "/first.torrent\" target=\"_blank");
    EXPECT_EQ(globals().CacheBPath, "/b.torrent");
}

// A torrent page that fails, or lacks a cache link, never passes for
// success: only the magnet link is copied, no bare cache host with it, and
// the box says why in its last line.
TEST_F(LinkCaptureTest, TorrentPageOutcomes) {
    const std::string tooLong(8193, 'x');
    struct Case {
        const char* name;
        std::string body;
        int status;
        text::Text hash;
        const char8_t* why; // null: success
    } cases[] = {
        {"success", TorrentPage("/t/H.torrent", "/b/H.torrent"), 200, "H", nullptr},
        {"HTTP 500", TorrentPage("/t/H.torrent", "/b/H.torrent"), 500, "H",
         u8"种子页面回应 HTTP 500"},
        {"link missing", TorrentPage("/t/H.torrent", ""), 200, "H", u8"种子页面中没有种子地址"},
        {"link too long", TorrentPage("/t/H.torrent", "/" + tooLong), 200, "H",
         u8"种子页面中没有种子地址"},
        {"cannot be requested", "", 200, "H\r\nX: 1", u8"种子页面无法请求"},
        // Last: these close the portal.
        {"no answer", "", 200, "H", u8"种子页面没有回应"},
        {"refused", "", 200, "H", u8"种子页面连接被拒绝"},
        {"unknown host", "", 200, "H", u8"种子页面找不到服务器"},
    };
    const std::map<std::string, nettest::FakeInternet::Failure> failures = {
        {"no answer", nettest::FakeInternet::Failure::NoAnswer},
        {"refused", nettest::FakeInternet::Failure::ConnectionRefused},
        {"unknown host", nettest::FakeInternet::Failure::HostUnknown}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        portal.Serve("/torrent", c.body, c.status);
        if (const auto failure = failures.find(c.name); failure != failures.end()) {
            portal.Stop();
            internet.failure = failure->second;
        }
        TorrentLink(c.hash);
        const text::Text magnet = text::Gbk(u8"磁力链接：") + "\r\nmagnet:?xt=urn:btih:" + c.hash;
        if (!c.why) {
            EXPECT_EQ(notices.clipboard.back(),
                      ExpectedCopyText(c.hash, "/t/H.torrent", "/b/H.torrent"));
            EXPECT_EQ(notices.boxes.back().caption, text::Gbk(u8"地址复制成功,请粘贴到空白处"));
            continue;
        }
        EXPECT_EQ(notices.clipboard.back(), magnet);
        EXPECT_EQ(notices.boxes.back().content,
                  magnet + "\r\n" + text::Gbk(c.why) + text::Gbk(u8",只复制了磁力链接。"));
        EXPECT_EQ(notices.boxes.back().caption, text::Gbk(u8"未能取得种子地址"));
        EXPECT_EQ(notices.boxes.back().style, 48);
    }
    // A hash no torrent has is not copied at all.
    const auto copies = notices.clipboard.size();
    TorrentLink(tooLong);
    EXPECT_EQ(notices.clipboard.size(), copies);
    EXPECT_EQ(notices.boxes.back().content, text::Gbk(u8"链接过长,没有复制。"));
}

TEST_F(LinkCaptureTest, UnrecognisedRequestsAreCancelledAndOverwriteTheHash) {
    TorrentLink("ABC");
    windows.HoverLink(app::MainBrowser, "");
    EXPECT_TRUE(windows.RequestNewWindow(app::MainBrowser)) << "a script's pop-up";
    EXPECT_EQ(globals().CapturedInfoHash, "");
    EXPECT_EQ(globals().CacheAPath, "/t/ABC.torrent") << "kept until the next torrent link";
}

// A page that opens pop-ups on its own while the pointer rests on a result
// link: each request is cancelled and rewrites the hash, and nothing is
// played, fetched, copied or shown until the user clicks.
TEST_F(LinkCaptureTest, ScriptedPopUpsOverLinksActOnNothing) {
    struct Case {
        const char* status;
        const char* hash;
    } cases[] = {
        {"http://portal.test/torrent?info_hash=T1", "T1"},
        {"http://portal.test/magnet?info_hash=P1", "P1"},
        {"http://portal.test/magnet/torrent?info_hash=B1", "B1"},
        {"", ""},
    };
    for (const auto& c : cases) {
        windows.HoverLink(app::MainBrowser, c.status);
        host::ComObject slot;
        EXPECT_TRUE(windows.RequestNewWindow(app::MainBrowser, &slot, false)) << c.status;
        EXPECT_TRUE(slot) << "the request is adopted all the same";
        EXPECT_EQ(globals().CapturedInfoHash, c.hash);
    }
    EXPECT_TRUE(portal.Requests().empty());
    EXPECT_TRUE(notices.clipboard.empty());
    EXPECT_TRUE(notices.boxes.empty());
    EXPECT_FALSE(windows.IsCreated(PlayerWindow));
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 1);

    EXPECT_TRUE(TorrentLink("T2")) << "the user's click still copies";
    EXPECT_EQ(portal.Requests(), std::vector<std::string>{"/torrent?info_hash=T2"});
    EXPECT_EQ(notices.boxes.size(), 1u);
}

TEST_F(LinkCaptureTest, StatusTextFromThePlayerFeedsTheNextRequest) {
    PlayLink("P");
    windows.HoverLink(app::PlayerBrowser, "http://portal.test/torrent?info_hash=FROMPLAYER");
    EXPECT_TRUE(windows.RequestNewWindow(app::MainBrowser));
    EXPECT_EQ(portal.Requests().back(), "/torrent?info_hash=FROMPLAYER");
}

// Clicks that overlap: each answer belongs to one click. Every torrent page
// here names its own hash in its cache links, and the pages are held back
// until the test lets them through.
TEST_F(LinkCaptureTest, EachClickGetsItsOwnAnswer) {
    internet.serve = [this](const std::string& site, int,
                            const std::string& path) -> std::optional<nettest::FakeInternet::Page> {
        const std::string hash = path.substr(path.find('=') + 1);
        if (site != "portal.test")
            return std::nullopt;
        return nettest::FakeInternet::Page{
            TorrentPage("/t/" + hash + ".torrent", "/b/" + hash + ".torrent")};
    };
    const auto copied = [](const text::Text& hash) {
        return ExpectedCopyText(hash, "/t/" + hash + ".torrent", "/b/" + hash + ".torrent");
    };
    struct Case {
        const char* name;
        std::function<void()> meanwhile; // while the first click's page is on its way
        std::vector<text::Text> clipboard;
        bool playerOpen = false;
    } cases[] = {
        {"a newer click supersedes the older", [&] { TorrentLink("SECOND"); }, {copied("SECOND")}},
        {"a play click leaves the fetch alone", [&] { PlayLink("PLAY"); }, {copied("FIRST")}, true},
        {"a scripted pop-up changes nothing",
         [&] {
             windows.HoverLink(app::MainBrowser, "");
             windows.RequestNewWindow(app::MainBrowser, nullptr, false);
         },
         {copied("FIRST")}},
        {"closing the program ends the job", [&] { windows.Close(MainWindow.window); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notices.clipboard.clear();
        notices.boxes.clear();
        if (!windows.Loaded(MainWindow.window))
            Start();
        internet.holdAnswers = true;
        TorrentLink("FIRST");
        c.meanwhile();
        internet.holdAnswers = false;
        internet.ReleaseAnswers();
        loop.ProcessEvents();
        EXPECT_EQ(notices.clipboard, c.clipboard);
        ASSERT_EQ(notices.boxes.size(), c.clipboard.size()) << "one box, with the copied lines";
        for (std::size_t i = 0; i < notices.boxes.size(); ++i)
            EXPECT_EQ(notices.boxes[i].content, c.clipboard[i]);
        EXPECT_EQ(windows.IsCreated(PlayerWindow), c.playerOpen);
        if (c.playerOpen)
            windows.Close(PlayerWindow.window);
    }

    // A click while the first box is open gets a box of its own.
    notices.clipboard.clear();
    notices.boxes.clear();
    notices.duringBox = [&] {
        if (notices.boxes.size() == 1)
            TorrentLink("SECOND");
    };
    TorrentLink("FIRST");
    EXPECT_EQ(notices.clipboard, (std::vector<text::Text>{copied("FIRST"), copied("SECOND")}));
    ASSERT_EQ(notices.boxes.size(), 2u);
    EXPECT_EQ(notices.boxes[1].content, copied("SECOND"));
}

TEST_F(LinkCaptureTest, HostileStatusTextsGiveADefinedResult) {
    EXPECT_TRUE(ClickLink("http://portal.test/torrent?info_hash=A\r\nX-Injected: 1"));
    EXPECT_TRUE(portal.Requests().empty()) << "a line break never reaches the wire";
    EXPECT_EQ(globals().CacheAPath, "");
    ASSERT_EQ(notices.boxes.size(), 1u) << "the box is shown all the same";

    EXPECT_TRUE(TorrentLink(text::Text(100000, 'A')));
    EXPECT_TRUE(TorrentLink("\x81\xff\x80 #%"));
    EXPECT_EQ(notices.boxes.size(), 3u);
    for (const auto& request : portal.Requests())
        EXPECT_EQ(request.find_first_of("\r\n"), std::string::npos);
}

} // namespace
