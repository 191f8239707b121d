#include "app/updatecheck.h"

#include "text/codepage.h"
#include "text/encoding.h"
#include "text/markers.h"

namespace app {

namespace {

// The share page writes the direct link inside a script string: after
// dlink\":\" and before \"}";disk.util, with every slash escaped as \\/.
constexpr std::string_view DirectLinkFrontMarker = "dlink\\\":\\\"";
constexpr std::string_view DirectLinkBackMarker = "\\\"}\";disk.util";
constexpr std::string_view EscapePair = "\\\\";

constexpr int QuestionYesNoStyle = 0x24;
constexpr int InformationStyle = 0x40;
constexpr int YesResult = 5;

text::Text FetchGbkPage(Program& program, text::Text& url) {
    return text::Utf8ToGbk(net::FetchPageText(program.web, url));
}

void DownloadFromSharePage(Program& program) {
    Globals& globals = program.globals;
    // The process-wide text itself is passed, so the request's normalising of
    // its URL stays in it.
    const text::Text share = FetchGbkPage(program, globals.DownloadAddress);
    if (text::FindText(share, text::Gbk(u8"百度网盘")) != -1) {
        const text::Text escaped =
            text::TextBetween(share, DirectLinkFrontMarker, DirectLinkBackMarker);
        StartFileDownload(program, text::ReplaceSubtext(escaped, EscapePair, {}, {}, {}, false));
    }
    program.host.ProcessEvents();
    program.host.ProcessEvents();
}

} // namespace

void CheckForUpdate(Program& program) {
    Globals& globals = program.globals;
    globals.CurrentVersion = BuildVersion;

    const text::Text caption = text::Gbk(u8"更新提示");
    // A check that could not be made says so: silence, or "up to date" when
    // no version was read, would tell the user something untrue.
    const auto failed = [&](const char8_t* reason) {
        program.host.ShowMessageBox(text::Gbk(reason), InformationStyle, caption);
    };
    text::Text noticeUrl{program.sites.updateNotice};
    const text::Text page = FetchGbkPage(program, noticeUrl);
    if (page.empty())
        return failed(u8"检查更新失败：无法从服务器获取更新公告。");
    if (text::FindText(page, text::Gbk(u8"软件更新")) == -1)
        return failed(u8"检查更新失败：更新公告页面中没有版本信息。");

    globals.LatestVersion =
        text::TextBetween(page, text::Gbk(u8"最新版本号："), text::Gbk(u8"</p><p>下"));
    const text::Text address =
        text::TextBetween(page, text::Gbk(u8"下载地址："), "</p><p><br /></p> </div>");
    globals.DownloadAddress = text::ReplaceSubtext(address, "&amp;", "&", {}, {}, false);

    if (globals.LatestVersion.empty())
        return failed(u8"检查更新失败：更新公告页面中没有版本信息。");
    if (text::CompareTextOrdinal(globals.CurrentVersion, globals.LatestVersion) >= 0) {
        program.host.ShowMessageBox(text::Gbk(u8"当前为最新版！！"), InformationStyle, caption);
        return;
    }
    if (program.host.ShowMessageBox(text::Gbk(u8"发现新版本，是否更新软件？"), QuestionYesNoStyle,
                                    caption) != YesResult)
        return;
    DownloadFromSharePage(program);
}

void StartFileDownload(Program& program, const text::Text& link) {
    program.host.StartDownload(link);
}

} // namespace app
