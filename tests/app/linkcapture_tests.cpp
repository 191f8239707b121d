// Clicking result links in the portal page: what is played, fetched, copied
// and shown.

#include "apptestbed.h"
#include "text/codepage.h"

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
    ASSERT_EQ(host.clipboard.size(), 1u);
    EXPECT_EQ(host.clipboard[0], expected);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].content, expected);
    EXPECT_EQ(host.boxes[0].style, 64);
    EXPECT_EQ(host.boxes[0].caption, text::Gbk(u8"地址复制成功,请粘贴到空白处"));
    EXPECT_FALSE(host.IsCreated(PlayerWindow));
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 1);
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
        EXPECT_EQ(host.clipboard.back().find("magnet:?xt=urn:btih:" + std::string(c.hash) +
                                             "\r\n") != std::string::npos,
                  true);
    }
}

TEST_F(LinkCaptureTest, MarkersAreMatchedWithExactCase) {
    EXPECT_TRUE(ClickLink("Magnet?info_hash=ABC"));
    EXPECT_FALSE(host.IsCreated(PlayerWindow));
    EXPECT_TRUE(ClickLink("http://portal.test/Torrent?info_hash=ABC"));
    EXPECT_TRUE(portal.Requests().empty());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(globals().CapturedInfoHash, "ABC") << "the hash is taken on every request";
}

TEST_F(LinkCaptureTest, ALinkWithBothMarkersPlaysThenCopies) {
    EXPECT_TRUE(ClickLink("http://portal.test/magnet/torrent?info_hash=ABC"));
    EXPECT_TRUE(host.IsCreated(PlayerWindow));
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 0);
    EXPECT_EQ(host.clipboard.size(), 1u);
    EXPECT_EQ(host.boxes.size(), 1u);
}

TEST_F(LinkCaptureTest, CacheCutsRunToTheFirstClassAttributeWhateverTheHostCase) {
    portal.Serve("/torrent", "<p>http://CACHEA.TEST/first.torrent\" target=\"_blank\" class=\"x\">"
                             "<a href=\"http://cachea.test/second.torrent\" class=\"y\">"
                             "<a href=\"http://cacheb.test:8004/b.torrent\" class=\"y\"></p>");
    TorrentLink("ABC");
    EXPECT_EQ(globals().CacheAPath, "/first.torrent\" target=\"_blank");
    EXPECT_EQ(globals().CacheBPath, "/b.torrent");
}

TEST_F(LinkCaptureTest, AFailedFetchStillConfirmsWithTheBaseAddressesOnly) {
    portal.Serve("/torrent", "");
    TorrentLink("EMPTY");
    EXPECT_EQ(host.clipboard.back(), ExpectedCopyText("EMPTY", "", ""));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].content, host.clipboard.back());
}

TEST_F(LinkCaptureTest, UnrecognisedRequestsAreCancelledAndOverwriteTheHash) {
    TorrentLink("ABC");
    host.HoverLink(app::MainBrowser, "");
    EXPECT_TRUE(host.RequestNewWindow(app::MainBrowser)) << "a script's pop-up";
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
        host.HoverLink(app::MainBrowser, c.status);
        host::ComObject slot;
        EXPECT_TRUE(host.RequestNewWindow(app::MainBrowser, &slot, false)) << c.status;
        EXPECT_TRUE(slot) << "the request is adopted all the same";
        EXPECT_EQ(globals().CapturedInfoHash, c.hash);
    }
    EXPECT_TRUE(portal.Requests().empty());
    EXPECT_TRUE(host.clipboard.empty());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(host.IsCreated(PlayerWindow));
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 1);

    EXPECT_TRUE(TorrentLink("T2")) << "the user's click still copies";
    EXPECT_EQ(portal.Requests(), std::vector<std::string>{"/torrent?info_hash=T2"});
    EXPECT_EQ(host.boxes.size(), 1u);
}

TEST_F(LinkCaptureTest, StatusTextFromThePlayerFeedsTheNextRequest) {
    PlayLink("P");
    host.HoverLink(app::PlayerBrowser, "http://portal.test/torrent?info_hash=FROMPLAYER");
    EXPECT_TRUE(host.RequestNewWindow(app::MainBrowser));
    EXPECT_EQ(portal.Requests().back(), "/torrent?info_hash=FROMPLAYER");
}

TEST_F(LinkCaptureTest, ANestedRequestWinsAndNothingBreaks) {
    // While the first box is open the user clicks another torrent link: the
    // nested request runs to completion inside the first one.
    bool nested = false;
    host.duringEvents = [&] {
        if (nested)
            return;
        nested = true;
        TorrentLink("SECOND");
    };
    EXPECT_TRUE(TorrentLink("FIRST"));
    EXPECT_EQ(globals().CapturedInfoHash, "SECOND");
    ASSERT_GE(host.boxes.size(), 2u);
    EXPECT_NE(host.boxes.back().content.find("SECOND"), std::string::npos);
}

TEST_F(LinkCaptureTest, HostileStatusTextsGiveADefinedResult) {
    EXPECT_TRUE(ClickLink("http://portal.test/torrent?info_hash=A\r\nX-Injected: 1"));
    EXPECT_TRUE(portal.Requests().empty()) << "a line break never reaches the wire";
    EXPECT_EQ(globals().CacheAPath, "");
    ASSERT_EQ(host.boxes.size(), 1u) << "the box is shown all the same";

    EXPECT_TRUE(TorrentLink(text::Text(100000, 'A')));
    EXPECT_TRUE(TorrentLink("\x81\xff\x80 #%"));
    EXPECT_EQ(host.boxes.size(), 3u);
    for (const auto& request : portal.Requests())
        EXPECT_EQ(request.find_first_of("\r\n"), std::string::npos);
}

} // namespace
