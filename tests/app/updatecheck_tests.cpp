// The update check against a loopback notice page and share page.

#include "app/mainwindow.h"
#include "app/updatecheck.h"
#include "apptestbed.h"
#include "text/codepage.h"

#include <functional>
#include <optional>

namespace {

constexpr int Yes = 5;
constexpr int No = 6;

std::string NoticePage(const std::string& version, const std::string& address) {
    return "<div class=\"post\"><h2>软件更新</h2><p>最新版本号：" + version + "</p><p>下载地址：" +
           address + "</p><p><br /></p> </div>";
}

// The direct link as the share page's script writes it: slashes escaped as \\/.
std::string SharePage(const std::string& escapedLink) {
    return "<title>百度网盘</title><script>var d=\"{\\\"dlink\\\":\\\"" + escapedLink +
           "\\\"}\";disk.util.init(d);</script>";
}

const std::string ShareAddress = "http://notice.test/share?id=1&amp;from=notice";

// The update check speaks in information boxes under its own title.
void ExpectUpdateNotice(const fakes::FakeNotices::Box& box, const std::u8string& text,
                        const char* what) {
    EXPECT_EQ(box.content, text::Gbk(text)) << what;
    EXPECT_EQ(box.style, 0x40) << what;
    EXPECT_EQ(box.caption, text::Gbk(u8"更新提示")) << what;
}

class UpdateCheckTest : public AppTestBed {
  protected:
    void SetUp() override {
        Start();
        notice.Serve("/share", SharePage("http:\\\\/\\\\/notice.test\\\\/get\\\\/new.tar.gz"));
    }
    void Check() {
        app::CheckForUpdate(program);
        loop.ProcessEvents();
    }
    text::Text LatestBox() const {
        return notices.boxes.empty() ? "" : notices.boxes.back().content;
    }
};

TEST_F(UpdateCheckTest, NewerVersionAskedYesDownloadsTheUnescapedDirectLink) {
    notice.Serve("/notice.html", NoticePage("20261201", ShareAddress));
    notices.boxAnswers = {Yes};
    Check();
    ASSERT_EQ(notices.boxes.size(), 1u);
    EXPECT_EQ(notices.boxes[0].content, text::Gbk(u8"发现新版本，是否更新软件？"));
    EXPECT_EQ(notices.boxes[0].style, 0x24);
    EXPECT_EQ(notices.boxes[0].caption, text::Gbk(u8"更新提示"));
    EXPECT_EQ(notice.Requests(),
              (std::vector<std::string>{"/notice.html", "/share?id=1&from=notice"}));
    EXPECT_EQ(notices.downloads, std::vector<text::Text>{"http://notice.test/get/new.tar.gz"});
    EXPECT_EQ(globals().CurrentVersion, "20130906");
    EXPECT_EQ(globals().LatestVersion, "20261201");
    EXPECT_EQ(globals().DownloadAddress, "http://notice.test/share?id=1&from=notice");
}

TEST_F(UpdateCheckTest, VersionsCompareByteByByte) {
    struct Case {
        const char* latest;
        bool newer;
    } cases[] = {
        {"20130906", false}, {"20130905", false}, {"2013", false},
        {"20130907", true},  {"2014", true},      {"20130906 ", true},
    };
    for (const auto& c : cases) {
        notices.boxes.clear();
        notices.boxAnswers = {No};
        notice.Serve("/notice.html", NoticePage(c.latest, ShareAddress));
        Check();
        EXPECT_EQ(LatestBox(),
                  text::Gbk(c.newer ? u8"发现新版本，是否更新软件？" : u8"当前为最新版！！"))
            << '"' << c.latest << '"';
    }
    EXPECT_TRUE(notices.downloads.empty());
}

TEST_F(UpdateCheckTest, MarkersIgnoreTagCaseAndEntitiesAnyCase) {
    notice.Serve("/notice.html",
                 "<div>软件更新<P>最新版本号：20990101</P><P>下载地址："
                 "http://notice.test/share?id=1&AMP;from=notice</P><P><BR /></P> </DIV>");
    notices.boxAnswers = {Yes};
    Check();
    EXPECT_EQ(globals().LatestVersion, "20990101");
    EXPECT_EQ(notice.Requests().back(), "/share?id=1&from=notice");
    EXPECT_EQ(notices.downloads.size(), 1u);
}

TEST_F(UpdateCheckTest, OnlyTheFirstFrontMarkerCounts) {
    notice.Serve("/notice.html", NoticePage("20990101", ShareAddress) + NoticePage("1", "x"));
    notices.boxAnswers = {No};
    Check();
    EXPECT_EQ(globals().LatestVersion, "20990101");
}

TEST_F(UpdateCheckTest, ACheckThatCouldNotBeMadeSaysSoOnceNeverUpToDate) {
    const std::u8string noPage = u8"检查更新失败：无法从服务器获取更新公告。";
    const std::u8string noVersion = u8"检查更新失败：更新公告页面中没有版本信息。";
    struct Case {
        const char* what;
        std::optional<std::string> page; // none: an unknown page, answered empty
        std::u8string box;
        int status = 200;
    } cases[] = {
        {"no page", std::nullopt, noPage},
        {"an empty page", "", noPage},
        {"an error page", "", u8"检查更新失败：无法从服务器获取更新公告（回应 HTTP 503）。", 503},
        {"no update section", "<p>最新版本号：20990101</p><p>下载地址：x</p><p><br /></p> </div>",
         noVersion},
        {"no version markers", "<div>软件更新</div>", noVersion},
        {"an empty version", NoticePage("", ShareAddress), noVersion},
    };
    for (const Case& c : cases) {
        notices.boxes.clear();
        if (c.page)
            notice.Serve("/notice.html", *c.page, c.status);
        Check();
        ASSERT_EQ(notices.boxes.size(), 1u) << c.what;
        ExpectUpdateNotice(notices.boxes[0], c.box, c.what);
    }
    EXPECT_EQ(notice.Requests(), std::vector<std::string>(std::size(cases), "/notice.html"));
    EXPECT_TRUE(notices.downloads.empty());

    // A server that refuses the connection is named as such.
    notices.boxes.clear();
    notice.Stop();
    internet.failure = nettest::FakeInternet::Failure::ConnectionRefused;
    Check();
    ASSERT_EQ(notices.boxes.size(), 1u);
    ExpectUpdateNotice(notices.boxes[0], u8"检查更新失败：无法从服务器获取更新公告（连接被拒绝）。",
                       "refused");
}

TEST_F(UpdateCheckTest, APageWithoutTheSectionKeepsTheTextsOfTheLastCheck) {
    notice.Serve("/notice.html", NoticePage("20130906", ShareAddress));
    Check();
    notice.Serve("/notice.html", "<p>最新版本号：20990101</p><p>下载地址：x</p>");
    Check();
    EXPECT_EQ(globals().LatestVersion, "20130906");
}

TEST_F(UpdateCheckTest, NoEndsWithoutFetchingTheSharePage) {
    notice.Serve("/notice.html", NoticePage("20990101", ShareAddress));
    notices.boxAnswers = {No};
    Check();
    EXPECT_EQ(notice.Requests(), std::vector<std::string>{"/notice.html"});
    EXPECT_TRUE(notices.downloads.empty());
}

TEST_F(UpdateCheckTest, LinkWithoutEscapesIsHandedOverUnchanged) {
    notice.Serve("/notice.html", NoticePage("20990101", ShareAddress));
    notice.Serve("/share", SharePage("http://notice.test/plain.bin"));
    notices.boxAnswers = {Yes};
    Check();
    EXPECT_EQ(notices.downloads, std::vector<text::Text>{"http://notice.test/plain.bin"});
}

// One check at a time, and a 是 downloads what its own question offered.
TEST_F(UpdateCheckTest, ChecksNeverMix) {
    const std::string otherShare = "http://notice.test/share?id=2";
    struct Case {
        const char* name;
        std::function<void()> duringQuestion;
        std::vector<std::string> requests;
        std::size_t downloads;
    } cases[] = {
        {"检查更新 again starts nothing",
         [&] {
             notice.Serve("/notice.html", NoticePage("20990202", otherShare));
             windows.ChooseMenuItem(app::TrayMenu, 1);
             loop.ProcessEvents();
         },
         {"/notice.html", "/share?id=1&from=notice"},
         1},
        {"closing the program ends the check",
         [&] { windows.Close(app::MainWindow.window); },
         {"/notice.html"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notice.Serve("/notice.html", NoticePage("20990101", ShareAddress));
        const std::size_t asked = notice.Requests().size();
        notices.boxes.clear();
        notices.downloads.clear();
        if (!windows.Loaded(app::MainWindow.window))
            Start();
        notices.duringBox = [&, asked = false]() mutable {
            if (notices.boxes.size() == 1 && !std::exchange(asked, true))
                c.duringQuestion();
        };
        notices.boxAnswers = {Yes, Yes};
        Check();
        notices.duringBox = nullptr;
        EXPECT_EQ(notices.boxes.size(), 1u) << "one question, asked once";
        EXPECT_EQ(
            std::vector<std::string>(notice.Requests().begin() + asked, notice.Requests().end()),
            c.requests);
        EXPECT_EQ(notices.downloads.size(), c.downloads);
    }
}

TEST_F(UpdateCheckTest, AYesThatCannotDownloadSaysWhyOnce) {
    const std::u8string noLink = u8"无法下载更新：下载页面中没有下载链接，分享可能已被取消。";
    struct Case {
        const char* what;
        std::string notice;
        std::optional<std::string> share; // none: an unknown page, answered empty
        std::u8string box;
    } cases[] = {
        {"an empty address", "<div>软件更新<p>最新版本号：20990101</p><p>下</div>", "",
         u8"无法下载更新：更新公告中没有下载地址。"},
        {"no share page", NoticePage("20990101", "http://notice.test/gone"), std::nullopt,
         u8"无法下载更新：无法打开下载页面。"},
        {"a withdrawn share", NoticePage("20990101", ShareAddress),
         "withdrawn dlink\\\":\\\"http://x\\\"}\";disk.util", noLink},
        {"a share without its link", NoticePage("20990101", ShareAddress),
         "<title>百度网盘</title>", noLink},
    };
    for (const Case& c : cases) {
        notices.boxes.clear();
        notices.boxAnswers = {Yes};
        notice.Serve("/notice.html", c.notice);
        if (c.share)
            notice.Serve("/share", *c.share);
        Check();
        ASSERT_EQ(notices.boxes.size(), 2u) << c.what;
        ExpectUpdateNotice(notices.boxes[1], c.box, c.what);
    }
    // An empty address is not fetched at all.
    EXPECT_EQ(notice.Requests().size(), 1u + 2 * (std::size(cases) - 1));
    EXPECT_TRUE(notices.downloads.empty());
}

} // namespace
