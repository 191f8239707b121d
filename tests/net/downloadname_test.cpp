// The name a download proposes and the addresses it refuses: both come from
// a page or a server the program does not control.

#include "net/downloadname.h"
#include "net/filedownload.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* url;
    const char* contentDisposition;
    const char* name;
};

const NameCase NameCases[] = {
    {"http://h/dl/setup.exe", "", "setup.exe"},
    {"http://h/dl/setup.exe?sign=a/b.zip&t=1#x/y", "", "setup.exe"},
    {"http://h/dl/%E6%96%B0%E7%89%88.exe", "", "新版.exe"},
    {"http://h/dl/新版 2.exe", "", "新版 2.exe"},
    // Percent-escaped GBK, as servers of the GBK world write it.
    {"http://h/dl/%D0%C2%B0%E6.exe", "", "新版.exe"},
    {"http://h/dl/..%2F..%2Fetc%2Fpasswd", "", "etcpasswd"},
    {"http://h/dl/..%5C..%5Cboot.ini", "", "boot.ini"},
    {"http://h/dl/..", "", "download"},
    {"http://h/dl/%2e%2E", "", "download"},
    {"http://h/dl/.profile", "", "profile"},
    {"http://h/dl/setup.exe. . ", "", "setup.exe"},
    {"http://h/a%00b%0D%0A%09c.exe", "", "abc.exe"},
    // A right-to-left override would show "evil\u202Eexe.txt" as "evil" + "txt.exe".
    {"http://h/evil%E2%80%AEexe.txt", "", "evilexe.txt"},
    {"http://h/", "", "download"},
    {"http://h", "", "download"},
    {"http://h?file=/a.exe", "", "download"},
    {"http://h/dir/", "", "download"},
    {"", "", "download"},
    {"http://h/u", "attachment; filename=\"report.pdf\"", "report.pdf"},
    {"http://h/u", "attachment;filename=plain.zip", "plain.zip"},
    {"http://h/u", "attachment; filename*=UTF-8''%E6%96%B0%E7%89%88.exe; filename=\"old.exe\"",
     "新版.exe"},
    {"http://h/u", "attachment; filename=\"old.exe\"; filename*=utf-8'zh'%E6%96%B0.exe", "新.exe"},
    {"http://h/u", "attachment; filename*=ISO-8859-1''caf%E9.txt; filename=\"cafe.txt\"",
     "cafe.txt"},
    {"http://h/u", "attachment; filename=\"a\\\"b;c.exe\"; size=10", "a\"b;c.exe"},
    {"http://h/u", "attachment; filename=\"%E6%96%B0.exe\"", "新.exe"},
    {"http://h/u", "attachment; filename=\xD0\xC2.exe", "新.exe"},
    {"http://h/u", "attachment; filename=\"../../.bashrc\"", "bashrc"},
    // Nothing usable in the header: the address names the file.
    {"http://h/setup.exe", "inline", "setup.exe"},
    {"http://h/setup.exe", "attachment; filename=\"\"", "setup.exe"},
    {"http://h/setup.exe", "attachment; filename=\"..\"", "setup.exe"},
    {"http://h/setup.exe", "attachment; filename", "setup.exe"},
    {"http://h/setup.exe", "attachment; filename=\"unterminated", "unterminated"},
};

TEST(SuggestedFileName, MatchesTheTable) {
    for (const NameCase& row : NameCases) {
        SCOPED_TRACE(std::string(row.url) + " | " + row.contentDisposition);
        EXPECT_EQ(net::SuggestedFileName(row.url, row.contentDisposition), row.name);
    }
}

TEST(SuggestedFileName, CutsAnOverlongNameOnACharacterAndKeepsTheExtension) {
    const std::string latin = net::SuggestedFileName("http://h/" + std::string(300, 'a') + ".exe");
    EXPECT_EQ(latin, std::string(196, 'a') + ".exe");

    std::string chinese;
    for (int i = 0; i < 100; ++i)
        chinese += "中";
    const std::string cut = net::SuggestedFileName("http://h/" + chinese + ".zip");
    std::string expected;
    for (int i = 0; i < 65; ++i)
        expected += "中";
    EXPECT_EQ(cut, expected + ".zip");
}

TEST(DownloadUrlError, RefusesWhatIsNotAPlainWebAddress) {
    const std::string refused[] = {
        "file:///etc/passwd",
        "ftp://h/setup.exe",
        "javascript:alert(1)",
        "data:text/plain,abc",
        "",
        "http://",
        "//h/setup.exe",
        "h/setup.exe",
        " http://h/setup.exe",
        "http://h/a\r\nX-Injected: 1",
        "http://h/a\nb",
        std::string("http://h/a\0b", 12),
        "http://h/a\x7F",
    };
    for (const std::string& url : refused) {
        SCOPED_TRACE(url);
        EXPECT_TRUE(net::DownloadUrlError(url).has_value());
    }
    const std::string accepted[] = {
        "http://h/setup.exe",
        "https://h:8443/dl?file=a&sign=b",
        "HTTP://H/X",
        "http://h/新版 2.exe",
        "http://h/a b.exe?name=c d", // the space is percent-encoded on every libcurl
    };
    for (const std::string& url : accepted) {
        SCOPED_TRACE(url);
        EXPECT_EQ(net::DownloadUrlError(url), std::nullopt);
    }
}

TEST(FileDownload, FailsAtOnceOnARefusedAddress) {
    const net::CookieStore cookies;
    net::FileDownload download("file:///etc/passwd", cookies);
    const net::DownloadProgress progress = download.Progress();
    EXPECT_EQ(progress.state, net::DownloadState::Failed);
    EXPECT_FALSE(progress.error.empty());
    download.Cancel(); // no worker to stop: must not hang or crash
}

} // namespace
