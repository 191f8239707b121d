// The five sites served over loopback, read the way the client reads them.

#include "bencodereader.h"
#include "rawhttp.h"
#include "testdata.h"

#include "portal/portalserver.h"
#include "portal/sha1.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

using portaltest::Get;
using portaltest::HttpReply;
using portaltest::IsUtf8;
using portaltest::TextBetween;

const std::string PackageName = "lodestone-20261201.tar.gz";

std::unique_ptr<portal::PortalServer> StartedServer() {
    auto server = std::make_unique<portal::PortalServer>(
        portaltest::ShippedCatalogue(), portaltest::ShippedFile("download/" + PackageName), false);
    std::string error;
    if (!server->Bind("127.0.0.1", 0, error))
        throw std::runtime_error(error);
    server->Start();
    return server;
}

class PortalSites : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = StartedServer().release(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    static const portal::Sites& Sites() { return server_->Addresses(); }
    static const std::vector<portal::Torrent>& Torrents() {
        return portaltest::ShippedCatalogue().Torrents();
    }
    static std::string PathOf(const std::string& url, const std::string& site) {
        const std::string base = "http://" + site;
        return url.starts_with(base) ? url.substr(base.size()) : "(not on " + site + ") " + url;
    }

    static portal::PortalServer* server_;
};

portal::PortalServer* PortalSites::server_ = nullptr;

TEST_F(PortalSites, ClientPageLinksEveryTorrentForPlayAndCopy) {
    const HttpReply reply = Get(Sites().portal, "/client?v=varnholt&c=0&so=0&t=");
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_TRUE(IsUtf8(reply.body));
    EXPECT_NE(reply.body.find(R"(<form method="get" action="/client">)"), std::string::npos);
    for (const auto& field : {R"(name="v" value="varnholt")", R"(name="c" value="0")",
                              R"(name="so" value="0")", R"(name="t" value="")"})
        EXPECT_NE(reply.body.find(field), std::string::npos) << field;
    for (const portal::Torrent& torrent : Torrents()) {
        const std::string play = portal::PlayLink(Sites(), torrent);
        const std::string copy = portal::TorrentLink(Sites(), torrent);
        // The client tells the links apart by these markers and takes the
        // hash from after the last "info_hash=".
        EXPECT_NE(play.find("magnet"), std::string::npos);
        EXPECT_EQ(play.find("torrent?info_hash"), std::string::npos);
        EXPECT_NE(copy.find("torrent?info_hash"), std::string::npos);
        EXPECT_EQ(copy.find("magnet"), std::string::npos);
        for (const std::string& link : {play, copy}) {
            EXPECT_EQ(link.substr(link.rfind("info_hash=") + 10), torrent.infoHash);
            EXPECT_NE(reply.body.find("href=\"" + link + "\" target=\"_blank\""), std::string::npos)
                << link;
        }
        // The save link is the browser's own download: no marker, no new window.
        const std::string save = portal::SaveLink(Sites(), torrent);
        EXPECT_EQ(save.find("magnet"), std::string::npos);
        EXPECT_EQ(save.find("torrent?info_hash"), std::string::npos);
        EXPECT_NE(reply.body.find("href=\"" + save + "\">"), std::string::npos) << save;
        const HttpReply saved = Get(Sites().cacheB, PathOf(save, Sites().cacheB));
        EXPECT_EQ(saved.Header("Content-Disposition"),
                  "attachment; filename=\"" + torrent.name + ".torrent\"");
        EXPECT_EQ(saved.body, torrent.metainfo);
    }
}

TEST_F(PortalSites, SearchKeepsTheFormKeysAndEscapesWhatItEchoes) {
    const struct {
        std::string query;
        std::vector<std::string> expected; // substrings of the page
        std::vector<std::string> absent;
    } cases[] = {
        {"t=%E5%94%90%E8%AF%97", {"tang-poems"}, {"sonnet-18.txt"}},
        {"t=%E8%AF%97+%E8%8B%B1%E6%96%87", {"sonnet-18.txt"}, {"tang-poems"}},
        {"t=%3Cscript%3E%22", {R"(value="&lt;script&gt;&quot;")", "共 0 条"}, {"<script>"}},
        {"v=a%22b&c=%3E&so=1",
         {R"(name="v" value="a&quot;b")", R"(name="c" value="&gt;")", R"(name="so" value="1")"},
         {}},
        {"t=%FF%FE", {"共 0 条"}, {}},
        {"t=\xFF\xC0", {"共 0 条"}, {}},
        {"t=%zz%4", {R"(value="%zz%4")"}, {}},
        {"t=%00", {}, {}},
    };
    for (const auto& [query, expected, absent] : cases) {
        SCOPED_TRACE(query);
        const HttpReply reply = Get(Sites().portal, "/client?" + query);
        ASSERT_EQ(reply.status, 200);
        EXPECT_TRUE(IsUtf8(reply.body));
        for (const std::string& text : expected)
            EXPECT_NE(reply.body.find(text), std::string::npos) << text;
        for (const std::string& text : absent)
            EXPECT_EQ(reply.body.find(text), std::string::npos) << text;
    }
}

TEST_F(PortalSites, TorrentPageCacheLinksCutLikeTheClientLeadToTheTorrent) {
    for (const portal::Torrent& torrent : Torrents()) {
        SCOPED_TRACE(torrent.name);
        const HttpReply page =
            Get(Sites().portal, PathOf(portal::TorrentLink(Sites(), torrent), Sites().portal));
        ASSERT_EQ(page.status, 200);
        EXPECT_TRUE(IsUtf8(page.body));
        std::string cachedFiles[2];
        const std::string* cacheSites[2] = {&Sites().cacheA, &Sites().cacheB};
        for (int i = 0; i < 2; ++i) {
            const std::string path =
                TextBetween(page.body, "http://" + *cacheSites[i], "\" class=");
            EXPECT_EQ(path, i == 0 ? portal::CacheAPath(torrent.infoHash)
                                   : portal::CacheBPath(torrent.infoHash));
            const HttpReply file = Get(*cacheSites[i], path);
            ASSERT_EQ(file.status, 200) << path;
            EXPECT_EQ(file.Header("Content-Type"), "application/x-bittorrent");
            const auto metainfo = portaltest::DecodeBencode(file.body);
            ASSERT_TRUE(metainfo);
            EXPECT_EQ(portal::HexUpper(portal::Sha1(metainfo->At("info").raw)), torrent.infoHash);
            cachedFiles[i] = file.body;
        }
        EXPECT_EQ(cachedFiles[0], cachedFiles[1]);
    }
}

TEST_F(PortalSites, TorrentPageAnswersWhateverFollowsTheHash) {
    const std::string hash = Torrents().front().infoHash;
    std::string lower = hash;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const struct {
        std::string target;
        int status;
    } cases[] = {
        {"/torrent?info_hash=" + lower, 200},
        {"/torrent?info_hash=" + hash + "&from=client", 200},
        {"/torrent?info_hash=ABC", 404},
        {"/torrent?info_hash=", 404},
        {"/torrent?info_hash=" + hash + "?x", 404},
        {"/torrent", 400},
        {"/torrent?info_hash=%ZZ", 404},
    };
    for (const auto& [target, status] : cases) {
        const HttpReply reply = Get(Sites().portal, target);
        EXPECT_EQ(reply.status, status) << target;
        if (status == 200) {
            EXPECT_EQ(TextBetween(reply.body, "http://" + Sites().cacheA, "\" class="),
                      portal::CacheAPath(hash));
        }
    }
}

TEST_F(PortalSites, CachesServeOnlyTheirOwnLayout) {
    const std::string hash = Torrents().front().infoHash;
    std::string lower = portal::CacheAPath(hash);
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const struct {
        const std::string& site;
        std::string path;
        int status;
    } cases[] = {
        {Sites().cacheA, portal::CacheAPath(hash), 200},
        {Sites().cacheB, portal::CacheBPath(hash), 200},
        {Sites().cacheA, portal::CacheBPath(hash), 404},
        {Sites().cacheB, portal::CacheAPath(hash), 404},
        {Sites().cacheA, lower, 404},
        {Sites().cacheA, portal::CacheAPath(std::string(40, 'F')), 404},
        {Sites().cacheB, "/.torrent", 404},
        {Sites().cacheB, "/files/../files/" + hash + ".torrent", 404},
        {Sites().cacheB, "/", 404},
    };
    for (const auto& [site, path, status] : cases)
        EXPECT_EQ(Get(site, path).status, status) << site << path;
}

TEST_F(PortalSites, PlayerPageTakesTheMagnetAsTheClientWritesIt) {
    const portal::Torrent& torrent = Torrents().front();
    const std::string prefix = "/lumacast/api.html?url=magnet:?xt=urn:btih:";
    ASSERT_EQ(portal::PlayerPath(torrent.infoHash), prefix + torrent.infoHash);
    const struct {
        std::string target;
        int status;
    } cases[] = {
        {prefix + torrent.infoHash, 200},
        {prefix + torrent.infoHash + "&dn=x", 200},
        {"/lumacast/api.html?url=magnet%3A%3Fxt%3Durn%3Abtih%3A" + torrent.infoHash, 200},
        {prefix, 404},
        {prefix + "ABC", 404},
        {"/lumacast/api.html?url=http://elsewhere/", 400},
        {"/lumacast/api.html", 400},
        {"/lumacast/help.html", 200},
        {"/lumacast/", 404},
    };
    for (const auto& [target, status] : cases) {
        const HttpReply reply = Get(Sites().player, target);
        EXPECT_EQ(reply.status, status) << target;
        EXPECT_TRUE(IsUtf8(reply.body));
    }
    const HttpReply page = Get(Sites().player, prefix + torrent.infoHash);
    EXPECT_NE(page.body.find("magnet:?xt=urn:btih:" + torrent.infoHash), std::string::npos);
    for (const portal::TorrentFile& file : torrent.files)
        EXPECT_NE(page.body.find(file.path), std::string::npos) << file.path;
    EXPECT_NE(page.body.find(R"(target="_blank">在新窗口打开说明</a>)"), std::string::npos);
}

TEST_F(PortalSites, PlayerServesTheTorrentsOwnFilesByRanges) {
    const auto video = std::ranges::find_if(
        Torrents(), [](const portal::Torrent& torrent) { return torrent.name.ends_with(".webm"); });
    ASSERT_NE(video, Torrents().end());
    const std::string path = portal::PlayerFilePath(video->infoHash, 0);
    const std::string content = portaltest::ShippedFile("samples/" + video->name);
    const std::string size = std::to_string(content.size());
    const struct {
        std::string range;
        int status;
        std::string contentRange;
        std::size_t first, length;
    } cases[] = {
        {"", 200, "", 0, content.size()},
        {"bytes=0-", 206, "bytes 0-" + std::to_string(content.size() - 1) + "/" + size, 0,
         content.size()},
        {"bytes=100-199", 206, "bytes 100-199/" + size, 100, 100},
        {"bytes=-10", 206,
         "bytes " + std::to_string(content.size() - 10) + "-" + std::to_string(content.size() - 1) +
             "/" + size,
         content.size() - 10, 10},
        {"bytes=" + size + "-", 416, "bytes */" + size, 0, 0},
        {"bytes=9-3", 416, "", 0, 0},
    };
    for (const auto& [range, status, contentRange, first, length] : cases) {
        SCOPED_TRACE(range);
        const HttpReply reply = portaltest::Exchange(
            Sites().player, "GET " + path + " HTTP/1.1\r\n" +
                                (range.empty() ? "" : "Range: " + range + "\r\n") + "\r\n");
        EXPECT_EQ(reply.status, status);
        EXPECT_EQ(reply.Header("Content-Range"), contentRange);
        if (status < 400) {
            EXPECT_EQ(reply.Header("Accept-Ranges"), "bytes");
            EXPECT_EQ(reply.Header("Content-Type"), "video/webm");
            EXPECT_TRUE(reply.body == content.substr(first, length));
        }
    }
    // Only a file of the torrent can be named, by its place in it.
    const std::string hash = video->infoHash;
    for (const std::string& target :
         {portal::PlayerFilePath(hash, 1), portal::PlayerFilePath(std::string(40, 'F'), 0),
          "/lumacast/files/" + hash + "/0/../../../catalogue.tsv",
          "/lumacast/files/" + hash + "/-1", "/lumacast/files/" + hash + "/99999999999"})
        EXPECT_EQ(Get(Sites().player, target).status, 404) << target;
    // The player page offers each file of a torrent.
    for (const portal::Torrent& torrent : Torrents()) {
        const HttpReply page = Get(Sites().player, portal::PlayerPath(torrent.infoHash));
        for (std::size_t i = 0; i < torrent.files.size(); ++i)
            EXPECT_NE(page.body.find("data-src=\"" + portal::PlayerFilePath(torrent.infoHash, i)),
                      std::string::npos)
                << torrent.name << ' ' << i;
    }
}

TEST_F(PortalSites, PlayLinkLeadsBrowsersToThePlayer) {
    const portal::Torrent& torrent = Torrents().back();
    const HttpReply reply =
        Get(Sites().portal, PathOf(portal::PlayLink(Sites(), torrent), Sites().portal));
    EXPECT_EQ(reply.status, 302);
    EXPECT_EQ(reply.Header("Location"),
              "http://" + Sites().player + portal::PlayerPath(torrent.infoHash));
    EXPECT_EQ(Get(Sites().portal, "/magnet?info_hash=ABC").status, 404);
    EXPECT_EQ(Get(Sites().portal, "/").Header("Location"), "/client?v=varnholt&c=0&so=0&t=");
}

TEST_F(PortalSites, UpdateCheckFindsVersionShareAndDirectLink) {
    const HttpReply notice = Get(Sites().notice, "/notice.html");
    ASSERT_EQ(notice.status, 200);
    EXPECT_NE(notice.body.find("软件更新"), std::string::npos);
    const std::string version = TextBetween(notice.body, "最新版本号：", "</p><p>下");
    EXPECT_EQ(version, "20261201");
    EXPECT_GT(version, "20130906");
    std::string address = TextBetween(notice.body, "下载地址：", "</p><p><br /></p> </div>");
    ASSERT_NE(address.find("&amp;"), std::string::npos);
    address.replace(address.find("&amp;"), 5, "&");
    EXPECT_EQ(address, "http://" + Sites().notice + "/share?id=1&from=notice");

    const HttpReply share = Get(Sites().notice, PathOf(address, Sites().notice));
    ASSERT_EQ(share.status, 200);
    EXPECT_NE(share.body.find("百度网盘"), std::string::npos);
    std::string link = TextBetween(share.body, R"(dlink\":\")", R"(\"}";disk.util)");
    for (std::size_t at; (at = link.find(R"(\\)")) != std::string::npos;)
        link.erase(at, 2);
    EXPECT_EQ(link, "http://" + Sites().notice + "/download/" + PackageName);

    const HttpReply download = Get(Sites().notice, PathOf(link, Sites().notice));
    ASSERT_EQ(download.status, 200);
    EXPECT_EQ(download.Header("Content-Disposition"),
              "attachment; filename=\"" + PackageName + "\"");
    EXPECT_EQ(download.body, portaltest::ShippedFile("download/" + PackageName));
    EXPECT_EQ(download.body.substr(0, 2), "\x1F\x8B"); // gzip
}

TEST_F(PortalSites, NoticeCanNameTheClientsOwnVersion) {
    const HttpReply notice = Get(Sites().notice, "/notice.html?current=1");
    EXPECT_EQ(TextBetween(notice.body, "最新版本号：", "</p><p>下"), "20130906");
    const HttpReply withdrawn = Get(Sites().notice, "/share?id=2&from=notice");
    EXPECT_EQ(withdrawn.status, 404);
    EXPECT_EQ(withdrawn.body.find("百度网盘"), std::string::npos);
    EXPECT_EQ(Get(Sites().notice, "/download/other.tar.gz").status, 404);
}

TEST_F(PortalSites, RefusesWhatItCannotServe) {
    const std::string bigHeader = "X-Big: " + std::string(20000, 'b') + "\r\n";
    const struct {
        const std::string& site;
        std::string request;
        int status;
    } cases[] = {
        {Sites().portal, "GARBAGE\r\n\r\n", 400},
        {Sites().portal, "\r\n\r\n", 400},
        {Sites().portal, "GET /client HTTP/1.1\r\n" + bigHeader + "\r\n", 400},
        {Sites().portal, "GET /client?t=" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", 414},
        {Sites().portal, "POST /client HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", 405},
        {Sites().notice, "DELETE /notice.html HTTP/1.1\r\n\r\n", 405},
        {Sites().player, "GET /\x01\xFF HTTP/1.1\r\n\r\n", 404},
        {Sites().cacheA, "GET /nowhere HTTP/1.1\r\n\r\n", 404},
        {Sites().notice, "GET /notice.html HTTP/1.0\r\n\r\n", 200},
    };
    for (const auto& [site, request, status] : cases) {
        SCOPED_TRACE(request.substr(0, 40));
        const HttpReply reply = portaltest::Exchange(site, request);
        EXPECT_EQ(reply.status, status);
        if (status >= 400) {
            EXPECT_EQ(reply.Header("Content-Type"), "text/html; charset=utf-8");
            EXPECT_NE(reply.body.find(std::to_string(status)), std::string::npos);
        }
    }
    EXPECT_EQ(portaltest::Exchange(Sites().portal, "POST / HTTP/1.1\r\n\r\n").Header("Allow"),
              "GET, HEAD");
    const HttpReply head = portaltest::Exchange(Sites().portal, "HEAD /client HTTP/1.1\r\n\r\n");
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
    EXPECT_EQ(Get(Sites().portal, "/client").status, 200); // still serving
}

TEST_F(PortalSites, SlowDownloadTricklesAndSurvivesACancel) {
    {
        portaltest::Connection connection(Sites().notice);
        ASSERT_TRUE(connection.Send("GET /download/slow.bin HTTP/1.1\r\n\r\n"));
        const HttpReply start = portaltest::ParseReply(connection.Receive(1000));
        ASSERT_EQ(start.status, 200);
        EXPECT_EQ(start.Header("Content-Length"),
                  std::to_string(portal::SlowChunkSize * portal::SlowChunkCount));
        EXPECT_EQ(start.Header("Content-Disposition"), "attachment; filename=\"slow.bin\"");
        ASSERT_FALSE(start.body.empty());
        for (std::size_t i = 0; i < start.body.size(); ++i)
            ASSERT_EQ(start.body[i], portal::SlowDownloadByte(i)) << i;
    } // cancelled mid-way
    EXPECT_EQ(Get(Sites().notice, "/notice.html").status, 200);
}

TEST(PortalServer, StopEndsASlowDownloadWithoutWaitingForIt) {
    std::unique_ptr<portal::PortalServer> server = StartedServer();
    portaltest::Connection connection(server->Addresses().notice);
    ASSERT_TRUE(connection.Send("GET /download/slow.bin HTTP/1.1\r\n\r\n"));
    std::string received = connection.Receive(1000);
    ASSERT_EQ(portaltest::ParseReply(received).status, 200);
    std::thread stopper([&server] { server->Stop(); });
    received += connection.Receive(); // until the server closes
    stopper.join();
    EXPECT_LT(portaltest::ParseReply(received).body.size(),
              portal::SlowChunkSize * portal::SlowChunkCount);
}

TEST(PortalServer, BindFailsOnAPortInUse) {
    std::unique_ptr<portal::PortalServer> running = StartedServer();
    portal::PortalServer second(portaltest::ShippedCatalogue(), "", false);
    const int port = std::stoi(running->Addresses().portal.substr(10));
    std::string error;
    EXPECT_FALSE(second.Bind("127.0.0.1", port, error));
    EXPECT_NE(error.find(std::to_string(port)), std::string::npos);
}

} // namespace
