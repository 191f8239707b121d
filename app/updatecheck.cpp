#include "app/updatecheck.h"

#include "text/codepage.h"
#include "text/encoding.h"
#include "text/markers.h"

#include <memory>
#include <utility>

namespace app {

// An update check from the menu item to its last box: the version and the
// address it read, and the fetch under way.
struct UpdateJob {
    text::Text latestVersion;
    text::Text downloadAddress;
    std::unique_ptr<net::PageFetch> fetch;
};

namespace {

// The share page writes the direct link inside a script string: after
// dlink\":\" and before \"}";disk.util, with every slash escaped as \\/.
constexpr std::string_view DirectLinkFrontMarker = "dlink\\\":\\\"";
constexpr std::string_view DirectLinkBackMarker = "\\\"}\";disk.util";
constexpr std::string_view EscapePair = "\\\\";

constexpr int QuestionYesNoStyle = 0x24;
constexpr int InformationStyle = 0x40;
constexpr int YesResult = 5;

constexpr const char8_t* NoDirectLink =
    u8"无法下载更新：下载页面中没有下载链接，分享可能已被取消。";

constexpr const char8_t* Caption = u8"更新提示";

// The check's last word, if it has one; it is under way until the box is
// closed, so that a second 检查更新 meanwhile starts nothing.
void EndCheck(Program& program, const std::shared_ptr<UpdateJob>& job, const text::Text& reason) {
    if (!reason.empty())
        program.notices.ShowMessageBox(reason, InformationStyle, text::Gbk(Caption));
    if (program.update == job)
        program.update.reset();
}

// A page that did not come, and why, in a sentence that `failed` begins.
text::Text NotFetched(const char8_t* failed, int status) {
    const text::Text why = FetchFailure(status);
    return text::JoinTexts(text::Gbk(failed), why.empty() ? text::Text{} : text::Gbk(u8"（"), why,
                           why.empty() ? text::Text{} : text::Gbk(u8"）"), text::Gbk(u8"。"));
}

// Why the update cannot be downloaded, for the user; empty when the download
// has started.
text::Text DownloadFromSharePage(Program& program, const net::FetchedPage& fetched) {
    const text::Text share = text::Utf8ToGbk(text::ToText(fetched.body));
    if (share.empty())
        return NotFetched(u8"无法下载更新：无法打开下载页面", fetched.status);
    if (text::FindText(share, text::Gbk(u8"百度网盘")) == -1)
        return text::Gbk(NoDirectLink);
    const text::Text escaped =
        text::TextBetween(share, DirectLinkFrontMarker, DirectLinkBackMarker);
    const text::Text link = text::ReplaceSubtext(escaped, EscapePair, {}, {}, {}, false);
    if (link.empty())
        return text::Gbk(NoDirectLink);
    StartFileDownload(program.notices, link);
    return {};
}

void OnSharePage(Program& program, net::FetchedPage fetched) {
    const std::shared_ptr<UpdateJob> job = program.update;
    job->fetch.reset();
    // The request's normalising of the address stays in it.
    job->downloadAddress = program.globals.DownloadAddress = fetched.url;
    EndCheck(program, job, DownloadFromSharePage(program, fetched));
}

// The user is asked about the build the notice names; a 是 fetches exactly
// the address this check read, whatever happened while the question was open.
void OnNoticePage(Program& program, net::FetchedPage fetched) {
    const std::shared_ptr<UpdateJob> job = program.update;
    job->fetch.reset();
    // A check that could not be made says so: silence, or "up to date" when
    // no version was read, would tell the user something untrue.
    const text::Text page = text::Utf8ToGbk(text::ToText(fetched.body));
    if (page.empty())
        return EndCheck(program, job,
                        NotFetched(u8"检查更新失败：无法从服务器获取更新公告", fetched.status));
    if (text::FindText(page, text::Gbk(u8"软件更新")) == -1)
        return EndCheck(program, job, text::Gbk(u8"检查更新失败：更新公告页面中没有版本信息。"));

    Globals& globals = program.globals;
    job->latestVersion = globals.LatestVersion =
        text::TextBetween(page, text::Gbk(u8"最新版本号："), text::Gbk(u8"</p><p>下"));
    const text::Text address =
        text::TextBetween(page, text::Gbk(u8"下载地址："), "</p><p><br /></p> </div>");
    job->downloadAddress = globals.DownloadAddress =
        text::ReplaceSubtext(address, "&amp;", "&", {}, {}, false);

    if (job->latestVersion.empty())
        return EndCheck(program, job, text::Gbk(u8"检查更新失败：更新公告页面中没有版本信息。"));
    if (text::CompareTextOrdinal(globals.CurrentVersion, job->latestVersion) >= 0)
        return EndCheck(program, job, text::Gbk(u8"当前为最新版！！"));
    const int answer = program.notices.ShowMessageBox(text::Gbk(u8"发现新版本，是否更新软件？"),
                                                   QuestionYesNoStyle, text::Gbk(Caption));
    if (program.update != job)
        return; // the program was closed meanwhile
    if (answer != YesResult)
        return EndCheck(program, job, {});
    if (job->downloadAddress.empty())
        return EndCheck(program, job, text::Gbk(u8"无法下载更新：更新公告中没有下载地址。"));
    job->fetch =
        net::StartPageFetch(program.web, job->downloadAddress, [&program](net::FetchedPage share) {
            OnSharePage(program, std::move(share));
        });
}

} // namespace

// One check at a time: a check under way answers for itself.
void CheckForUpdate(Program& program) {
    if (program.update)
        return;
    program.globals.CurrentVersion = BuildVersion;
    const auto job = std::make_shared<UpdateJob>();
    program.update = job;
    job->fetch = net::StartPageFetch(
        program.web, program.sites.updateNotice,
        [&program](net::FetchedPage notice) { OnNoticePage(program, std::move(notice)); });
}

void StartFileDownload(host::Notices& notices, const text::Text& link) {
    notices.StartDownload(link);
}

} // namespace app
