#include "app/updatecheck.h"

#include "app/hosts.h"
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

host::Text FetchGbkPage(Program& program, host::Text& url) {
    return text::Utf8ToGbk(net::FetchPageText(program.web, url));
}

void DownloadFromSharePage(Program& program) {
    Globals& globals = program.globals;
    // The process-wide text itself is passed, so the request's normalising of
    // its URL stays in it.
    const host::Text share = FetchGbkPage(program, globals.DownloadAddress);
    if (host::FindText(share, host::Gbk(u8"百度网盘")) != -1) {
        const host::Text escaped =
            text::TextBetween(share, DirectLinkFrontMarker, DirectLinkBackMarker);
        StartFileDownload(program, host::ReplaceSubtext(escaped, EscapePair, {}, {}, {}, false));
    }
    program.host.ProcessEvents();
    program.host.ProcessEvents();
}

} // namespace

void CheckForUpdate(Program& program) {
    Globals& globals = program.globals;
    globals.CurrentVersion = BuildVersion;

    host::Text noticeUrl{UpdateNoticeAddress()};
    const host::Text page = FetchGbkPage(program, noticeUrl);
    if (host::FindText(page, host::Gbk(u8"软件更新")) == -1)
        return;

    globals.LatestVersion =
        text::TextBetween(page, host::Gbk(u8"最新版本号："), host::Gbk(u8"</p><p>下"));
    const host::Text address =
        text::TextBetween(page, host::Gbk(u8"下载地址："), "</p><p><br /></p> </div>");
    globals.DownloadAddress = host::ReplaceSubtext(address, "&amp;", "&", {}, {}, false);

    const host::Text caption = host::Gbk(u8"更新提示");
    if (host::CompareTextOrdinal(globals.CurrentVersion, globals.LatestVersion) >= 0) {
        program.host.ShowMessageBox(host::Gbk(u8"当前为最新版！！"), InformationStyle, caption);
        return;
    }
    if (program.host.ShowMessageBox(host::Gbk(u8"发现新版本，是否更新软件？"), QuestionYesNoStyle,
                                    caption) != YesResult)
        return;
    DownloadFromSharePage(program);
}

void StartFileDownload(Program& program, const host::Text& link) {
    program.host.StartDownload(link);
}

} // namespace app
